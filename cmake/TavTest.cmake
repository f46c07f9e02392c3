# tav_add_test(NAME SOURCES files... [GUI] [LIBS libs...])
# One GoogleTest executable per call, registered with CTest through
# gtest_discover_tests. GUI tests get a QApplication and the offscreen platform.
include(GoogleTest)
function(tav_add_test name)
    cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    if(T_GUI)
        target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/gui_main.cpp)
        target_link_libraries(${name} PRIVATE travoline_gui Qt6::Test)
    else()
        target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/core_main.cpp)
        target_link_libraries(${name} PRIVATE travoline_core)
    endif()
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock ${T_LIBS})
    add_dependencies(${name} orvalib langages)
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8"
        DISCOVERY_MODE PRE_TEST)
endfunction()
