// A catalog of keyed texts in one language, read from the program's embedded UTF-8 catalog file.
//
// File format, one entry per key:
//     KEY = "text"
//     KEY =
//         "first chunk"
//         "second chunk"
// A key's text is its quoted chunks joined; escapes inside quotes: \n line break, \" quote,
// \\ backslash. Lines starting with # are comments. Leading and trailing blanks inside the quotes
// are part of the text.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>

namespace txr {

class StringCatalog {
public:
    // Parses a catalog file. Returns false (and keeps what it could read) on a malformed line.
    bool Load(std::string_view utf8);
    // The text of a key; a key the catalog does not hold gives an empty text.
    std::u16string GetString(std::string_view key) const;
    bool Contains(std::string_view key) const;
    std::size_t Size() const { return texts_.size(); }
    // Every key the catalog holds, in sorted order.
    std::set<std::string> Keys() const
    {
        std::set<std::string> keys;
        for (const auto& entry : texts_) keys.insert(entry.first);
        return keys;
    }

private:
    std::map<std::string, std::u16string, std::less<>> texts_;
};

}  // namespace txr
