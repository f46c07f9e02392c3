# tav_add_test(NAME SOURCES files... [GUI] [LIBS libs...] [AREA area])
# Adds test files to the GoogleTest executable of their area: the folder under
# tests/ that calls it (tests_orvalib, tests_core, tests_cli, tests_gui, ...),
# or AREA. GUI tests get a QApplication and the offscreen platform, the others
# a QCoreApplication, so the two never share an executable. LIBS are linked to
# the area's executable. CTest still lists every test by its own name
# (gtest_discover_tests) and runs each in a process of its own; a test that
# changes process-wide state sets it through test::TestGuard (tests/support).
#
# NAME stays a target (an empty one the area's executable depends on), so
# add_dependencies(NAME other) still makes `other` ready before the tests run.
# Build one area with `ninja tests_<area>`.
include(GoogleTest)

# Tests are compiled without optimisation (the product they link keeps its
# flags) and with precompiled Qt and GoogleTest headers: most of their compile
# time went into optimising the expanded test macros.
option(TAV_FAST_TEST_BUILD "Compile the tests without optimisation, with precompiled headers" ON)

set(TAV_TEST_PCH_CORE
    <gtest/gtest.h> <QCoreApplication> <QDir> <QFile> <QFileInfo> <QProcess> <QRegularExpression> <QString>
    <QStringList> <QTemporaryDir> <QTimer>)
set(TAV_TEST_PCH_GUI ${TAV_TEST_PCH_CORE} <QApplication> <QLabel> <QPushButton> <QSignalSpy> <QTest> <QWidget>)

# The area's executable, made on first use.
function(tav_test_executable exe gui)
    if(TARGET ${exe})
        return()
    endif()
    add_executable(${exe})
    if(gui)
        target_sources(${exe} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/gui_main.cpp)
        target_link_libraries(${exe} PRIVATE travoline_gui Qt6::Test)
        set(pch ${TAV_TEST_PCH_GUI})
    else()
        target_sources(${exe} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/core_main.cpp)
        target_link_libraries(${exe} PRIVATE travoline_core)
        set(pch ${TAV_TEST_PCH_CORE})
    endif()
    target_include_directories(${exe} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
    target_link_libraries(${exe} PRIVATE GTest::gtest GTest::gmock)
    add_dependencies(${exe} orvalib langages)
    if(TAV_FAST_TEST_BUILD)
        target_compile_options(${exe} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-O0>)
        target_precompile_headers(${exe} PRIVATE ${pch})
    endif()
    gtest_discover_tests(${exe}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8"
        DISCOVERY_MODE PRE_TEST)
endfunction()

function(tav_add_test name)
    cmake_parse_arguments(T "GUI" "AREA" "SOURCES;LIBS" ${ARGN})
    if(NOT T_AREA)
        file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
        string(REGEX REPLACE "/.*" "" T_AREA "${rel}")
        if(NOT T_AREA)
            message(FATAL_ERROR "tav_add_test(${name}): called from tests/ itself, give it an AREA")
        endif()
    endif()
    set(exe tests_${T_AREA})
    if(T_GUI AND NOT T_AREA STREQUAL "gui")
        set(exe tests_${T_AREA}_gui)
    elseif(NOT T_GUI AND T_AREA STREQUAL "gui")
        set(exe tests_gui_core)
    endif()
    tav_test_executable(${exe} "${T_GUI}")
    target_sources(${exe} PRIVATE ${T_SOURCES})
    if(T_LIBS)
        target_link_libraries(${exe} PRIVATE ${T_LIBS})
    endif()
    add_custom_target(${name})
    add_dependencies(${exe} ${name})
endfunction()
