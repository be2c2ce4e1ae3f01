// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// OS versions as texts: "5.10.0", as calculators, images and users write them.
#include <string>

// Compares two OS versions part by part ("5.10.0" > "5.9.2"; the parts
// between dots compared as numbers when both are, else as texts): <0, 0, >0.
int CompareOsVersions(const std::string& a, const std::string& b);

// Whether `text` is a version --needs can compare with: parts of digits and
// letters between dots, the first beginning with a digit.
bool IsVersionText(const std::string& text);
