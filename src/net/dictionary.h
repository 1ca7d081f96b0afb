// The user's own words (schreibweisen.txt), sent as the transcription prompt, and the
// company's shared words kept by the service.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvek {

// The words of a spellings file's bytes: UTF-16 with a byte-order mark, UTF-8 (with or without
// one) or else Latin-1; one word per line, trimmed, empty lines dropped, order kept.
std::vector<std::string> parse_spellings(std::string_view bytes);
// The words of schreibweisen.txt; a missing or unreadable file gives none.
std::vector<std::string> local_spellings();
// The transcription prompt: the own words joined with ", ".
std::string spellings_prompt(const std::vector<std::string>& words);

}  // namespace tolvek
