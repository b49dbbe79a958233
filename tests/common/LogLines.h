// Reads a log of the program or the upgrader as the tests look at it: the text of each line,
// after its date, time, process and thread columns and without its CR LF line end.
#pragma once
#include <fstream>
#include <regex>
#include <string>
#include <vector>

// A line without the columns (a continuation of a text that held a line break) is kept whole,
// and also added to malformed when that is given.
inline std::vector<std::string> ReadLogTexts(const std::string& path, std::vector<std::string>* malformed = nullptr)
{
    static const std::regex columns(R"(\d\d-\d\d-\d{4}\t\d\d:\d\d:\d\d\t\d+\t\d+\t(.*))");
    std::vector<std::string> texts;
    std::ifstream log(path, std::ios::binary);
    for (std::string line; std::getline(log, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::smatch match;
        if (std::regex_match(line, match, columns)) {
            texts.push_back(match[1].str());
        } else {
            texts.push_back(line);
            if (malformed)
                malformed->push_back(line);
        }
    }
    return texts;
}
