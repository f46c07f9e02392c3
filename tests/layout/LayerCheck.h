#pragma once
// Reads the #include lines of the source tree and reports every include that
// points up or sideways between layers, every circle between folders and
// every circle between the files of one folder.

#include <string>
#include <vector>

namespace layout {

struct Finding {
    std::string file; // relative to the root
    int line = 0;
    std::string text;
};

// The layer a path belongs to: "core/engine", "gui/main", "cli", "orvalib"...
// Empty for paths outside the layered folders.
std::string layerOf(const std::string &relativePath);

// Whether code in layer `from` may include a header of layer `to`.
bool mayInclude(const std::string &from, const std::string &to, const std::string &header);

// Upward or sideways includes under root.
std::vector<Finding> wrongIncludes(const std::string &root);

// Circles in the folder graph built from the includes under root, each
// written as "a -> b -> a".
std::vector<std::string> folderCircles(const std::string &root);

// Circles between the files of one folder, a header and its source counting
// as one (X.cpp includes Y.h, Y.cpp includes X.h), written the same way
// without extensions.
std::vector<std::string> fileCircles(const std::string &root);

} // namespace layout
