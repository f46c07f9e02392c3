#include "LayerCheck.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <set>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

std::string describe(const std::vector<layout::Finding> &findings) {
    std::string text;
    for (const auto &f : findings)
        text += f.file + ":" + std::to_string(f.line) + ": " + f.text + "\n";
    return text;
}

std::string describe(const std::vector<std::string> &circles) {
    std::string text;
    for (const auto &c : circles)
        text += c + "\n";
    return text;
}

void writeFile(const QString &root, const QString &relative, const QByteArray &text) {
    const QString path = root + "/" + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

} // namespace

TEST(Layers, ProjectIncludesPointDownOnly) {
    const auto findings = layout::wrongIncludes(TAV_SOURCE_DIR);
    EXPECT_TRUE(findings.empty()) << describe(findings);
}

TEST(Layers, ProjectHasNoFolderCircle) {
    const auto circles = layout::folderCircles(TAV_SOURCE_DIR);
    EXPECT_TRUE(circles.empty()) << describe(circles);
}

TEST(Layers, ProjectHasNoCircleBetweenFilesOfAFolder) {
    const auto circles = layout::fileCircles(TAV_SOURCE_DIR);
    EXPECT_TRUE(circles.empty()) << describe(circles);
}

TEST(Layers, LayerOfAPath) {
    EXPECT_EQ(layout::layerOf("core/engine/NameComputer.cpp"), "core/engine");
    EXPECT_EQ(layout::layerOf("gui/main/frmMain.h"), "gui/main");
    EXPECT_EQ(layout::layerOf("gui/main.cpp"), "gui");
    EXPECT_EQ(layout::layerOf("cli/main.cpp"), "cli");
    EXPECT_EQ(layout::layerOf("orvalib/orvalib.h"), "orvalib");
    EXPECT_EQ(layout::layerOf("QtPrinters.h"), "");
    EXPECT_EQ(layout::layerOf("core/Loose.h"), "");
}

TEST(Layers, RulesBetweenLayers) {
    EXPECT_TRUE(layout::mayInclude("core/engine", "core/settings", "core/settings/Settings.h"));
    EXPECT_FALSE(layout::mayInclude("core/settings", "core/engine", "core/engine/NameComputer.h"));
    // The list is filled from the name computation, which knows no list.
    EXPECT_TRUE(layout::mayInclude("core/filelist", "core/engine", "core/engine/NameComputer.h"));
    EXPECT_FALSE(layout::mayInclude("core/engine", "core/filelist", "core/filelist/RenameListModel.h"));
    EXPECT_FALSE(layout::mayInclude("core/engine", "gui/main", "gui/main/frmMain.h"));
    EXPECT_FALSE(layout::mayInclude("cli", "gui/dialogs", "gui/dialogs/KobMesgBox.h"));
    EXPECT_FALSE(layout::mayInclude("gui/dialogs", "gui/shellbrowser", "gui/shellbrowser/TVExplorer.h"));
    EXPECT_TRUE(layout::mayInclude("core/base", "orvalib", "orvalib/orvalib.h"));
    EXPECT_FALSE(layout::mayInclude("core/base", "orvalib", "orvalib/Abi.h"));
    EXPECT_FALSE(layout::mayInclude("core/engine", "orvalib", "orvalib/orvalib.h"));
}

// The check itself, on a small tree with one fault of each kind.
TEST(Layers, FindsUpwardIncludesAndCircles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    writeFile(root, "core/base/A.h", "#pragma once\n#include <vector>\n");
    writeFile(root, "core/settings/S.h", "#pragma once\n#include \"core/base/A.h\"\n#include \"core/engine/E.h\"\n");
    writeFile(root, "core/engine/E.h", "#pragma once\n#include \"core/settings/S.h\"\n");
    writeFile(root, "core/engine/E.cpp",
              "// #include \"gui/main/W.h\" only in a comment\n  #  include \"gui/main/W.h\"\n");
    writeFile(root, "cli/main.cpp", "#include \"core/engine/E.h\"\n#include \"Loose.h\"\n");

    const auto findings = layout::wrongIncludes(root.toStdString());
    const std::string text = describe(findings);
    ASSERT_EQ(findings.size(), 3u) << text;
    EXPECT_EQ(findings[0].file, "cli/main.cpp");
    EXPECT_EQ(findings[0].line, 2);
    EXPECT_EQ(findings[1].file, "core/engine/E.cpp");
    EXPECT_EQ(findings[1].line, 2);
    EXPECT_EQ(findings[2].file, "core/settings/S.h");
    EXPECT_EQ(findings[2].line, 3);

    const auto circles = layout::folderCircles(root.toStdString());
    ASSERT_EQ(circles.size(), 1u) << describe(circles);
    EXPECT_NE(circles[0].find("core/engine -> core/settings"), std::string::npos) << circles[0];
}

// Two files of one folder tied both ways, through their sources; a third
// file used by both is no circle.
TEST(Layers, FindsCirclesBetweenFilesOfOneFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    writeFile(root, "gui/pane/Common.h", "#pragma once\n");
    writeFile(root, "gui/pane/Left.h", "#pragma once\n#include \"gui/pane/Common.h\"\n");
    writeFile(root, "gui/pane/Left.cpp", "#include \"gui/pane/Left.h\"\n#include \"gui/pane/Right.h\"\n");
    writeFile(root, "gui/pane/Right.h", "#pragma once\n#include \"gui/pane/Common.h\"\n");
    writeFile(root, "gui/pane/Right.cpp", "#include \"gui/pane/Right.h\"\n");
    EXPECT_TRUE(layout::fileCircles(root.toStdString()).empty());

    writeFile(root, "gui/pane/Right.cpp", "#include \"gui/pane/Right.h\"\n#include \"gui/pane/Left.h\"\n");
    const auto circles = layout::fileCircles(root.toStdString());
    ASSERT_EQ(circles.size(), 1u) << describe(circles);
    EXPECT_EQ(circles[0], "gui/pane/Left -> gui/pane/Right -> gui/pane/Left");
}
