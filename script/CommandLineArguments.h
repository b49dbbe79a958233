// The program's command-line arguments as named values for the theme script: "-name=value",
// "/name=value" or a bare "-name", names compared without regard to case.
#pragma once
#include <map>
#include <string>
#include <vector>

class CCommandLineArguments {
public:
    // Reads the arguments after the program's name. The shell has already split the command
    // line into tokens; each token is read as "name=value" (first "=" outside double quotes),
    // with one leading "-" or "/" dropped and one pair of surrounding quotes taken off the name
    // and off the value. A name given twice keeps both values.
    void Parse(const std::vector<std::string>& arguments);
    void Clear() { m_mapValues.clear(); }

    bool Exists(const std::string& name) const;
    // The first value given for the name; "" when the name was not given.
    std::string GetValue(const std::string& name) const;

private:
    static std::string Key(const std::string& name);
    std::map<std::string, std::vector<std::string>> m_mapValues;
};
