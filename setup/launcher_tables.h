#pragma once
// The two tables of the suite launcher: the maker's programs and the tasks
// they serve, by category. They are read from a text file that the
// administrator provides (the shipped file has no rows); the format is
// strict and bounded, and a file that breaks any rule gives no rows at all.
//
//   # comment
//   program<TAB>key<TAB>display name<TAB>setup name<TAB>web page<TAB>description
//   task<TAB>category<TAB>program key<TAB>task text
//
// See docs/launcher.md for the rules of each field.
#include <string>
#include <string_view>
#include <vector>

struct LSuiteProgram {
    std::u16string key;      // folder and executable name
    std::u16string display;  // shown in the list
    std::u16string setup;    // local name of its setup download
    std::u16string page;     // web-page name; a leading '+' marks the newer family
    std::u16string description;
};

struct LSuiteTask {
    std::u16string category;
    std::u16string program;  // a program key
    std::u16string text;
};

struct LSuiteTables {
    std::vector<LSuiteProgram> programs;
    std::vector<LSuiteTask> tasks;
    // The program row whose key equals key without regard to case, or null.
    const LSuiteProgram* FindProgram(std::u16string_view key) const;
};

// Bounds of the file.
constexpr size_t LSuiteTablesMaxBytes = 256 * 1024;
constexpr size_t LSuiteMaxPrograms = 200;
constexpr size_t LSuiteMaxTasks = 1000;

// Parses the file's text; false (and no rows) when any line breaks a rule.
// error, when given, names the first offending line.
bool LParseSuiteTables(std::string_view text, LSuiteTables& out, std::string* error = nullptr);

// The file's place: "launcher.txt" beside the machine settings hive.
std::string LSuiteTablesPath();
// Reads and parses the file; a missing or refused file gives empty tables.
LSuiteTables LLoadSuiteTables();
