#pragma once
// Names the system generates ("Mix 3", "Input 12") are regenerated when kind or number
// change; a name the operator typed is kept.

#include <initializer_list>
#include <string_view>

// True when the name, trimmed of white space and line breaks and split at blanks (empty
// pieces dropped), is exactly one of `prefixes` followed by one whole decimal number.
bool isGeneratedName(std::string_view name, std::initializer_list<std::string_view> prefixes);
