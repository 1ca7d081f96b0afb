// Reading the administrator's page (docs/deployment.md) for the tests that hold it against the
// program.
#pragma once

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "util/platform.h"

namespace tolvek::test {

inline std::string deployment_page() {
    return read_file(path_join(TOLVEK_SOURCE_DIR, "docs/deployment.md")).value_or("");
}

// The code spans in the first cell of each row of the tables whose first heading cell is
// `heading`.
inline std::vector<std::vector<std::string>> first_cells(const std::string& text, const std::string& heading) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    std::string line;
    bool inside = false;
    const std::regex span("`([^`]+)`");
    while (std::getline(lines, line)) {
        if (!line.starts_with("|")) {
            inside = false;
            continue;
        }
        const std::string first = line.substr(1, line.find('|', 1) - 1);
        if (!inside) {
            inside = first == " " + heading + " ";
            continue;
        }
        if (first.starts_with("---")) continue;
        std::vector<std::string> spans;
        for (auto it = std::sregex_iterator(first.begin(), first.end(), span); it != std::sregex_iterator(); ++it) {
            spans.push_back((*it)[1]);
        }
        rows.push_back(spans);
    }
    return rows;
}

}  // namespace tolvek::test
