// The command line as the theme script reads it.
#include <gtest/gtest.h>

#include "script/CommandLineArguments.h"

namespace {

TEST(CommandLineArguments, NamesAndValues)
{
    CCommandLineArguments arguments;
    arguments.Parse({"/opt/quilvolite/QuilvoLite", "-theme=\"dark blue\"", "/Debug", "-region=12",
                     "-region=14", "plain", "-\"odd=name\"=\"x=y\"", "-empty=", "-"});
    struct Case { const char* name; bool exists; const char* value; };
    const Case cases[] = {
        {"theme", true, "dark blue"},   // quotes around the value come off
        {"debug", true, ""},            // "/" marks a name too; names ignore case
        {"DEBUG", true, ""},
        {"region", true, "12"},         // the first of two values
        {"plain", true, ""},            // no "-" or "/" at all
        {"odd=name", true, "x=y"},      // "=" inside quotes does not split
        {"empty", true, ""},
        {"", true, ""},                 // a lone "-" names the empty name
        {"QuilvoLite", false, ""},      // the program's name is no argument
        {"/opt/quilvolite/QuilvoLite", false, ""},
        {"missing", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(arguments.Exists(c.name), c.exists);
        EXPECT_EQ(arguments.GetValue(c.name), c.value);
    }
    arguments.Clear();
    EXPECT_FALSE(arguments.Exists("theme"));
}

}  // namespace
