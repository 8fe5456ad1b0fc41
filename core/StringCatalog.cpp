#include "core/StringCatalog.h"

#include "platform/utf.h"

namespace txr {

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Reads one quoted chunk that makes up the whole of s; false when s is not one.
bool unquote(std::string_view s, std::string& out)
{
    if (s.size() < 2 || s.front() != '"' || s.back() != '"') return false;
    s = s.substr(1, s.size() - 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= s.size()) return false;
        switch (s[i]) {
        case 'n': out += '\n'; break;
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        default: return false;
        }
    }
    return true;
}

}  // namespace

bool StringCatalog::Load(std::string_view text)
{
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    bool ok = true;
    std::string key;
    std::string value;
    bool open = false;
    auto flush = [&] {
        if (open) texts_[key] = txt::from_utf8(value);
        open = false;
        key.clear();
        value.clear();
    };
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        std::string_view t = trim(line);
        if (t.empty() || t.front() == '#') continue;
        if (t.front() == '"') {
            // A continuation chunk of the key above.
            if (!open || !unquote(t, value)) ok = false;
            continue;
        }
        flush();
        std::size_t eq = t.find('=');
        if (eq == std::string_view::npos) {
            ok = false;
            continue;
        }
        key = std::string(trim(t.substr(0, eq)));
        std::string_view rest = trim(t.substr(eq + 1));
        open = !key.empty();
        if (!rest.empty() && !unquote(rest, value)) {
            ok = false;
            open = false;
        }
        if (!open) ok = false;
    }
    flush();
    return ok;
}

std::u16string StringCatalog::GetString(std::string_view key) const
{
    auto it = texts_.find(key);
    return it == texts_.end() ? std::u16string() : it->second;
}

bool StringCatalog::Contains(std::string_view key) const { return texts_.find(key) != texts_.end(); }

}  // namespace txr
