#pragma once

#include <string>
#include <vector>

// A --spare name and the executables of running programs it names, as desktop clearing
// matches them: with or without ".exe", and a path by its file name, in any case.
struct SpareName {
    std::string given;
    std::vector<std::string> executables;  // each once; empty when it matches no running program
};

std::vector<SpareName> matchSpareNames(const std::vector<std::string>& names);
