// The user's own words (schreibweisen.txt), sent as the transcription prompt, and the
// company's shared words kept by the service.
#pragma once

#include <future>
#include <string>
#include <string_view>
#include <vector>

#include "net/http.h"

namespace tolvek {

// The words of a spellings file's bytes: UTF-16 with a byte-order mark, UTF-8 (with or without
// one) or else Latin-1; one word per line, trimmed, empty lines dropped, order kept.
std::vector<std::string> parse_spellings(std::string_view bytes);
// The words of schreibweisen.txt; a missing or unreadable file gives none.
std::vector<std::string> local_spellings();
// The transcription prompt: the own words joined with ", ".
std::string spellings_prompt(const std::vector<std::string>& words);

struct WordEntry {
    std::string text;
    bool shared = false;  // false: own word ("nur bei mir"), true: the company's ("für alle")
    bool operator==(const WordEntry&) const = default;
};

// The bytes of a spellings file: the words joined with CR LF, no line break after the last.
std::string spellings_bytes(const std::vector<std::string>& words);
// Writes the own words (and words whose sharing the service has not confirmed yet) to
// schreibweisen.txt through a temporary file and a rename: a failed write leaves the old list
// and answers false. Once the removal of Tolvek began, nothing is written (and true answered).
bool save_own_words(const std::vector<WordEntry>& entries);
// Shares `word`, which the entries already list as shared, and saves: the word is registered as
// waiting for the service before the save, so it never leaves the file before the service has
// it. The answer is the save's.
bool share_and_save(const std::string& server, const std::string& token, const std::vector<WordEntry>& entries,
                    const std::string& word);
// A new window reads the refused words from the file as own words: the memory of them ends.
void forget_refused_sharings();
// Whether the service refused to share `word` since the window opened: the company never had it.
bool sharing_refused(const std::string& word);
// The user removed `word`: a refused sharing no longer keeps it in the file.
void forget_word(const std::string& word);

// The string elements of "terms" in a fetch answer, in order.
std::vector<std::string> company_terms(const Json& answer);

// GET /v1/app/dictionary; any failure gives an empty list.
std::vector<std::string> company_words(const std::string& server, const std::string& token);
// The same on a worker thread. The result is handed over once; the caller waits at most as long
// as it wants.
std::future<std::vector<std::string>> fetch_company_words(const std::string& server, const std::string& token);

// Sends a change of the company list on a detached worker thread and logs its outcome; nothing
// without a token. A word being shared stays in schreibweisen.txt until the service has it: on
// success it leaves the file, on failure it stays an own word, so it is never lost.
void update_company_words(const std::string& server, const std::string& token, std::vector<std::string> add,
                          std::vector<std::string> remove);

}  // namespace tolvek
