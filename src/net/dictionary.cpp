#include "net/dictionary.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>

#include "base/log.h"
#include "base/settings.h"
#include "util/platform.h"
#include "util/text.h"

namespace tolvek {
namespace {

std::string decode_spellings(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        const bool little = byte(0) == 0xFF;
        std::u16string units;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            units += static_cast<char16_t>(little ? byte(i) | byte(i + 1) << 8
                                                  : byte(i) << 8 | byte(i + 1));
        }
        return utf16_to_utf8(units);
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (is_valid_utf8(bytes)) return std::string(bytes);
    std::u16string latin1;
    for (unsigned char c : bytes) latin1 += static_cast<char16_t>(c);
    return utf16_to_utf8(latin1);
}

// The spellings file is rewritten by the window and by the workers that settle a sharing; one
// lock keeps their read-and-write steps apart. Words handed to the service but not confirmed,
// and words the service refused since the window opened: both stay in the file.
std::mutex g_file_mutex;
std::multiset<std::string> g_unconfirmed;
std::set<std::string> g_refused;

bool write_words(const std::vector<std::string>& words) {
    if (uninstalling()) return true;  // the data folder is going away
    const std::string path = dictionary_path();
    const std::string tmp = path + ".tmp";
    if (write_file_flushed(tmp, spellings_bytes(words)) && replace_file(tmp, path)) return true;
    remove_file(tmp);
    return false;
}

// After the service answered a sharing: confirmed words leave the file, refused ones stay in it.
void settle_sharing(const std::vector<std::string>& words, bool confirmed) {
    std::lock_guard<std::mutex> lock(g_file_mutex);
    for (const auto& w : words) {
        if (auto it = g_unconfirmed.find(w); it != g_unconfirmed.end()) g_unconfirmed.erase(it);
    }
    std::vector<std::string> file = local_spellings();
    const auto listed = [&](const std::string& w) { return std::find(file.begin(), file.end(), w) != file.end(); };
    if (!confirmed) g_refused.insert(words.begin(), words.end());
    if (confirmed) {
        std::erase_if(file, [&](const std::string& w) {
            return std::find(words.begin(), words.end(), w) != words.end() && !g_unconfirmed.contains(w);
        });
    } else {
        for (const auto& w : words) {
            if (!listed(w)) file.push_back(w);
        }
    }
    write_words(file);
}

}  // namespace

namespace {

// A word without the white space around it, nor an invisible U+FEFF there (a second
// byte-order mark, or one pasted with the word): written back, it would be read as a mark.
std::string trim_word(std::string_view line) {
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    std::string word = trim_unicode_space(line);
    for (;;) {
        if (word.starts_with(kMark)) {
            word.erase(0, kMark.size());
        } else if (word.ends_with(kMark)) {
            word.resize(word.size() - kMark.size());
        } else {
            return word;
        }
        word = trim_unicode_space(word);
    }
}

}  // namespace

std::vector<std::string> parse_spellings(std::string_view bytes) {
    const std::string text = decode_spellings(bytes);
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = trim_word(std::string_view(text).substr(start, end - start));
        if (!line.empty()) words.push_back(std::move(line));
        start = end + 1;
    }
    return words;
}

std::vector<std::string> local_spellings() {
    const auto bytes = read_file(dictionary_path());
    return bytes ? parse_spellings(*bytes) : std::vector<std::string> {};
}

std::string spellings_bytes(const std::vector<std::string>& words) {
    std::string bytes;
    for (const auto& w : words) {
        if (!bytes.empty()) bytes += "\r\n";
        bytes += w;
    }
    return bytes;
}

bool save_own_words(const std::vector<WordEntry>& entries) {
    std::lock_guard<std::mutex> lock(g_file_mutex);
    std::vector<std::string> words;
    for (const auto& e : entries) {
        if (!e.shared) words.push_back(e.text);
    }
    const auto keep = [&](const std::string& w) {
        if (std::find(words.begin(), words.end(), w) == words.end()) words.push_back(w);
    };
    for (const auto& w : g_unconfirmed) keep(w);
    for (const auto& w : g_refused) keep(w);
    return write_words(words);
}

bool share_and_save(const std::string& server, const std::string& token, const std::vector<WordEntry>& entries,
                    const std::string& word) {
    update_company_words(server, token, {word}, {});
    return save_own_words(entries);
}

void forget_refused_sharings() {
    std::lock_guard<std::mutex> lock(g_file_mutex);
    g_refused.clear();
}

bool sharing_refused(const std::string& word) {
    std::lock_guard<std::mutex> lock(g_file_mutex);
    return g_refused.contains(word);
}

void forget_word(const std::string& word) {
    std::lock_guard<std::mutex> lock(g_file_mutex);
    g_refused.erase(word);
}

std::vector<std::string> company_terms(const Json& answer) {
    std::vector<std::string> terms;
    if (!answer.is_object()) return terms;
    const auto it = answer.find("terms");
    if (it == answer.end() || !it->is_array()) return terms;
    for (const auto& t : *it) {
        if (t.is_string()) terms.push_back(t.get<std::string>());
    }
    return terms;
}

std::vector<std::string> company_words(const std::string& server, const std::string& token) {
    const auto answer =
        call_with_fallback(server, [&](const std::string& base) { return dictionary_request(base, token, {}, {}); });
    const auto* json = std::get_if<Json>(&answer);
    return json ? company_terms(*json) : std::vector<std::string> {};
}

std::future<std::vector<std::string>> fetch_company_words(const std::string& server, const std::string& token) {
    std::promise<std::vector<std::string>> promise;
    auto future = promise.get_future();
    std::thread([server, token, promise = std::move(promise)]() mutable noexcept {
        promise.set_value(company_words(server, token));
    }).detach();
    return future;
}

void update_company_words(const std::string& server, const std::string& token, std::vector<std::string> add,
                          std::vector<std::string> remove) {
    if (token.empty() || (add.empty() && remove.empty())) return;
    {
        std::lock_guard<std::mutex> lock(g_file_mutex);
        g_unconfirmed.insert(add.begin(), add.end());
    }
    std::thread([server, token, add = std::move(add), remove = std::move(remove)]() noexcept {
        const auto answer = call_with_fallback(
            server, [&](const std::string& base) { return dictionary_request(base, token, add, remove); });
        const auto* error = std::get_if<ServiceError>(&answer);
        if (!add.empty()) settle_sharing(add, error == nullptr);
        if (error) {
            log("Firmen-Wörterbuch: " + error->message);
        } else {
            log("Firmen-Wörterbuch: " + std::to_string(add.size()) + " freigegeben, " + std::to_string(remove.size()) +
                " entfernt");
        }
    }).detach();
}

std::string spellings_prompt(const std::vector<std::string>& words) {
    std::string prompt;
    for (const auto& w : words) {
        if (!prompt.empty()) prompt += ", ";
        prompt += w;
    }
    return prompt;
}

}  // namespace tolvek
