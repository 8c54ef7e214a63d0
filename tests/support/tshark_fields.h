// SPDX-License-Identifier: MIT
#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

// Whether a program of that name is on the PATH.
inline bool HaveTool(const char* name) {
    const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// One packet as tshark's fields give it: field name to its text (repeated fields joined by ",").
using TsharkRow = std::map<std::string, std::string>;

struct TsharkOutput {
    int status = -1;     // the shell's exit status
    std::string errors;  // what tshark wrote to its standard error
    std::vector<TsharkRow> rows;
};

// Runs a command line that ends in a tshark reading a file, with the fields asked for in
// tab-separated columns; its output goes through files in dir and is read back one row a packet.
inline TsharkOutput RunTsharkFields(std::string command, const std::vector<std::string>& fields,
                                    const ScratchDir& dir) {
    command += " -T fields -E separator=/t -E occurrence=a -E aggregator=,";
    for (const std::string& f : fields) {
        command += " -e " + f;
    }
    command +=
        " > '" + (dir / "fields.txt").string() + "' 2> '" + (dir / "errors.txt").string() + "'";
    TsharkOutput output;
    output.status = std::system(command.c_str());
    std::ifstream errors(dir / "errors.txt");
    output.errors.assign(std::istreambuf_iterator<char>(errors), std::istreambuf_iterator<char>());
    std::ifstream in(dir / "fields.txt");
    std::string line;
    while (std::getline(in, line)) {
        TsharkRow row;
        std::stringstream cells(line);
        for (const std::string& f : fields) {
            std::string cell;
            std::getline(cells, cell, '\t');
            row[f] = cell;
        }
        output.rows.push_back(std::move(row));
    }
    return output;
}
