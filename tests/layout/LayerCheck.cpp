#include "LayerCheck.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>

namespace fs = std::filesystem;

namespace layout {
namespace {

// What each layer may use besides itself. The core reads bottom to top; the
// windows and the terminal front end sit on the whole core.
const std::map<std::string, std::set<std::string>> &allowed() {
    static const std::set<std::string> allCore = {"core/base",     "core/i18n",   "core/settings", "core/filelist",
                                                  "core/metadata", "core/engine", "core/rename",   "core/browse",
                                                  "core/update",   "core/app"};
    static const std::map<std::string, std::set<std::string>> table = [] {
        std::map<std::string, std::set<std::string>> t;
        t["orvalib"] = {};
        t["hovrix"] = {};
        t["core/base"] = {"orvalib"};
        t["core/i18n"] = {"core/base"};
        t["core/settings"] = {"core/base", "core/i18n"};
        t["core/browse"] = {"core/base", "core/i18n"};
        t["core/metadata"] = {"core/base", "core/i18n", "core/settings"};
        t["core/engine"] = {"core/base", "core/i18n", "core/settings"};
        // The rename list is filled from the name computation, never the reverse.
        t["core/filelist"] = {"core/base", "core/i18n", "core/settings", "core/engine"};
        t["core/rename"] = {"core/base", "core/i18n", "core/settings", "core/filelist", "core/engine"};
        t["core/update"] = {"core/base", "core/i18n", "core/settings"};
        t["core/app"] = allCore;
        t["core/app"].erase("core/app");
        auto gui = [&](std::set<std::string> extra) {
            extra.insert(allCore.begin(), allCore.end());
            return extra;
        };
        t["gui/i18n"] = gui({});
        t["gui/widgets"] = gui({"gui/i18n"});
        t["gui/dialogs"] = gui({"gui/i18n", "gui/widgets"});
        t["gui/shellbrowser"] = gui({"gui/i18n", "gui/widgets", "gui/dialogs"});
        t["gui/main"] = gui({"gui/i18n", "gui/widgets", "gui/dialogs", "gui/shellbrowser", "hovrix"});
        t["gui"] = gui({"gui/i18n", "gui/widgets", "gui/dialogs", "gui/shellbrowser", "gui/main", "hovrix"});
        t["cli"] = allCore;
        return t;
    }();
    return table;
}

bool isSource(const fs::path &p) {
    const auto ext = p.extension().string();
    return ext == ".h" || ext == ".cpp" || ext == ".c" || ext == ".in";
}

struct Include {
    std::string file;
    int line;
    std::string header;
};

std::vector<Include> includesUnder(const std::string &root) {
    static const std::regex quoted(R"re(^\s*#\s*include\s*"([^"]+)")re");
    std::vector<Include> out;
    for (const char *top : {"orvalib", "hovrix", "core", "gui", "cli"}) {
        const fs::path dir = fs::path(root) / top;
        if (!fs::is_directory(dir))
            continue;
        for (const auto &entry : fs::recursive_directory_iterator(dir)) {
            if (!entry.is_regular_file() || !isSource(entry.path()))
                continue;
            const std::string rel = fs::relative(entry.path(), root).generic_string();
            std::ifstream in(entry.path());
            std::string text;
            int n = 0;
            while (std::getline(in, text)) {
                ++n;
                std::smatch m;
                if (std::regex_search(text, m, quoted))
                    out.push_back({rel, n, m[1].str()});
            }
        }
    }
    std::sort(out.begin(), out.end(),
              [](const Include &a, const Include &b) { return a.file != b.file ? a.file < b.file : a.line < b.line; });
    return out;
}

} // namespace

std::string layerOf(const std::string &path) {
    const auto slash = path.find('/');
    if (slash == std::string::npos)
        return {};
    const std::string top = path.substr(0, slash);
    if (top == "orvalib" || top == "hovrix" || top == "cli")
        return top;
    if (top != "core" && top != "gui")
        return {};
    const auto second = path.find('/', slash + 1);
    if (second == std::string::npos)
        return top == "gui" ? "gui" : std::string{};
    return path.substr(0, second);
}

bool mayInclude(const std::string &from, const std::string &to, const std::string &header) {
    if (from == to)
        return true;
    const auto &table = allowed();
    const auto it = table.find(from);
    if (it == table.end() || !it->second.count(to))
        return false;
    // The core reaches Orvalib only through its binding, which needs the C
    // declarations and nothing else of the library.
    if (to == "orvalib")
        return header == "orvalib/orvalib.h";
    return true;
}

std::vector<Finding> wrongIncludes(const std::string &root) {
    std::vector<Finding> out;
    for (const auto &inc : includesUnder(root)) {
        const std::string from = layerOf(inc.file);
        const std::string to = layerOf(inc.header);
        if (to.empty()) {
            // A quoted include must name its layer, so the path tells what it uses.
            out.push_back({inc.file, inc.line, "\"" + inc.header + "\" names no layer folder"});
            continue;
        }
        if (allowed().find(from) == allowed().end()) {
            out.push_back({inc.file, inc.line, "folder " + from + " is in no layer"});
            continue;
        }
        if (!mayInclude(from, to, inc.header))
            out.push_back({inc.file, inc.line, from + " may not include " + inc.header});
    }
    return out;
}

namespace {

// Every circle of a directed graph, each written as "a -> b -> a".
std::vector<std::string> circlesOf(std::map<std::string, std::set<std::string>> graph) {
    std::vector<std::string> circles;
    std::map<std::string, int> state; // 0 new, 1 on the path, 2 done
    std::vector<std::string> path;
    std::function<void(const std::string &)> visit = [&](const std::string &node) {
        state[node] = 1;
        path.push_back(node);
        for (const auto &next : graph[node]) {
            if (state[next] == 1) {
                std::string text;
                for (auto it = std::find(path.begin(), path.end(), next); it != path.end(); ++it)
                    text += *it + " -> ";
                circles.push_back(text + next);
            } else if (state[next] == 0) {
                visit(next);
            }
        }
        path.pop_back();
        state[node] = 2;
    };
    std::vector<std::string> nodes;
    for (const auto &[node, _] : graph)
        nodes.push_back(node);
    for (const auto &node : nodes)
        if (state[node] == 0)
            visit(node);
    return circles;
}

} // namespace

std::vector<std::string> folderCircles(const std::string &root) {
    std::map<std::string, std::set<std::string>> graph;
    for (const auto &inc : includesUnder(root)) {
        const std::string from = layerOf(inc.file);
        const std::string to = layerOf(inc.header);
        if (!from.empty() && !to.empty() && from != to)
            graph[from].insert(to);
    }
    return circlesOf(graph);
}

std::vector<std::string> fileCircles(const std::string &root) {
    // A header and its source are one unit: X.cpp including Y.h while Y.cpp
    // includes X.h ties the two as surely as two headers including each other.
    auto unit = [](const std::string &path) { return fs::path(path).replace_extension().generic_string(); };
    std::map<std::string, std::set<std::string>> graph;
    for (const auto &inc : includesUnder(root)) {
        const std::string from = layerOf(inc.file);
        if (!from.empty() && from == layerOf(inc.header) && unit(inc.file) != unit(inc.header))
            graph[unit(inc.file)].insert(unit(inc.header));
    }
    return circlesOf(graph);
}

} // namespace layout
