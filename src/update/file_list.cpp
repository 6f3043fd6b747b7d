// Parsers of the catalogue and dependency lists, and the resolution of a
// root name into the download queue.
#include "update/file_list.h"

#include <unordered_set>

namespace tamber {
namespace {

// The separators between fields: space, tab, CR, VT and FF. LF ends a line.
inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Calls `take(line)` for every line of `text`; a last line without a line
// feed counts, an empty text has no lines.
template <typename Take>
void for_each_line(std::string_view text, Take take) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        take(text.substr(start, end - start));
        start = end + 1;
    }
}

// Reads the fields of one line from left to right.
struct field_reader {
    std::string_view line;
    size_t position = 0;

    void skip_blanks() {
        while (position < line.size() && is_blank(line[position])) ++position;
    }

    // The next run of non-blank bytes; empty at the end of the line.
    std::string_view next() {
        skip_blanks();
        const size_t start = position;
        while (position < line.size() && !is_blank(line[position])) ++position;
        return line.substr(start, position - start);
    }

    // Reads a size as stream extraction into a 32-bit unsigned integer does
    // it in decimal: blanks skipped, an optional sign, then the digits up to
    // the first byte that is not one. Fails without digits or when the
    // digits exceed 4294967295; a '-' negates modulo 2^32.
    bool next_size(uint32_t& size) {
        skip_blanks();
        bool negative = false;
        if (position < line.size() && (line[position] == '+' || line[position] == '-')) {
            negative = line[position] == '-';
            ++position;
        }
        if (position >= line.size() || !is_digit(line[position])) return false;
        uint64_t value = 0;
        bool too_large = false;
        for (; position < line.size() && is_digit(line[position]); ++position) {
            value = value * 10 + uint64_t(line[position] - '0');
            if (value > 0xFFFFFFFFu) {
                too_large = true;
                value = 0xFFFFFFFFu;  // keeps the arithmetic bounded; the line is skipped anyway
            }
        }
        if (too_large) return false;
        size = negative ? uint32_t(0u - uint32_t(value)) : uint32_t(value);
        return true;
    }
};

inline bool starts_with(const std::string& name, std::string_view prefix) {
    return std::string_view(name).substr(0, prefix.size()) == prefix;
}

// The resolution of one root name. Keys expand into their members
// depth-first, in list order, like a recursive walk would; the walk keeps its
// own stack so that a long chain of keys cannot exhaust the thread's stack.
class resolver {
public:
    resolver(const catalogue& files, const dependency_table& dependencies, download_queue& queue)
        : files_(files), dependencies_(dependencies), queue_(queue) {}

    void run(const std::string& root) {
        resolve_name(root);
        while (!stack_.empty()) {
            frame& top = stack_.back();
            if (top.next == top.members->size()) {
                stack_.pop_back();
                continue;
            }
            // resolve_name may push a frame, so `top` is not used after it.
            apply_member((*top.members)[top.next++]);
        }
    }

private:
    struct frame {
        const std::vector<std::string>* members;
        size_t next;
    };

    // Queued on every visit, before the visited test: a name that a '-'
    // took out comes back when a later member names it again.
    void resolve_name(const std::string& name) {
        const auto file = files_.find(name);
        if (file != files_.end()) queue_.insert(file->first);
        if (!visited_.insert(name).second) return;
        const auto key = dependencies_.find(name);
        if (key != dependencies_.end() && !key->second.empty()) stack_.push_back({&key->second, 0});
    }

    void apply_member(const std::string& member) {
        if (member.empty()) return;
        if (member[0] == '+')
            add_prefixed(std::string_view(member).substr(1));
        else if (member[0] == '-')
            remove_prefixed(std::string_view(member).substr(1));
        else
            resolve_name(member);
    }

    // The catalogue names that begin with `prefix` form one run in byte
    // order, starting at its lower bound.
    void add_prefixed(std::string_view prefix) {
        const std::string first(prefix);
        auto hint = queue_.lower_bound(first);
        for (auto it = files_.lower_bound(first); it != files_.end() && starts_with(it->first, prefix); ++it)
            hint = std::next(queue_.insert(hint, it->first));
    }

    void remove_prefixed(std::string_view prefix) {
        const std::string first(prefix);
        auto it = queue_.lower_bound(first);
        while (it != queue_.end() && starts_with(*it, prefix)) {
            if (files_.count(*it) != 0)
                it = queue_.erase(it);
            else
                ++it;
        }
    }

    const catalogue& files_;
    const dependency_table& dependencies_;
    download_queue& queue_;
    // Views of the root and of member strings owned by the dependency table,
    // all of which outlive the resolution.
    std::unordered_set<std::string_view> visited_;
    std::vector<frame> stack_;
};

// A Windows device name (CON, NUL, COM1, ...) in a path component opens the
// device whatever folder it is in and whatever extension follows it.
bool is_device_name(std::string_view component) {
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    std::string upper(base);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || upper == "CONIN$" ||
        upper == "CONOUT$")
        return true;
    if (upper.size() < 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0)) return false;
    const std::string_view number = std::string_view(upper).substr(3);
    // COM0-COM9 and LPT0-LPT9, and the superscript digits 1, 2, 3 that
    // Windows also accepts there (Windows-1252 and UTF-8 forms).
    return (number.size() == 1 && (is_digit(number[0]) || number == "\xB9" || number == "\xB2" || number == "\xB3")) ||
           number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

bool is_plain_component(std::string_view component) {
    if (component.empty()) return false;
    for (char c : component) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\' || c == ':') return false;
    }
    // Windows drops a trailing dot or space, so "a." would be "a", and "."
    // and ".." leave the folder.
    if (component.back() == '.' || component.back() == ' ') return false;
    return !is_device_name(component);
}

}  // namespace

void parse_catalogue(std::string_view text, catalogue& table) {
    for_each_line(text, [&table](std::string_view line) {
        field_reader fields{line};
        const std::string_view name = fields.next();
        if (name.empty()) return;
        uint32_t size = 0;
        if (!fields.next_size(size)) return;
        const std::string_view digest = fields.next();
        if (digest.empty()) return;
        table.insert_or_assign(std::string(name), file_list_entry{size, std::string(digest)});
    });
}

void parse_dependency_list(std::string_view text, dependency_table& table) {
    for_each_line(text, [&table](std::string_view line) {
        field_reader fields{line};
        const std::string_view key = fields.next();
        if (key.empty() || key.back() != ':') return;
        std::vector<std::string>& members = table[std::string(key.substr(0, key.size() - 1))];
        for (std::string_view member = fields.next(); !member.empty(); member = fields.next())
            members.emplace_back(member);
    });
}

bool resolve_queue(const std::string& root, const catalogue& files, const dependency_table& dependencies,
                   download_queue& queue) {
    if (dependencies.find(root) == dependencies.end()) return false;
    resolver(files, dependencies, queue).run(root);
    return true;
}

bool is_store_name(std::string_view name) {
    if (name.empty()) return false;
    size_t start = 0;
    for (;;) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos) end = name.size();
        if (!is_plain_component(name.substr(start, end - start))) return false;
        if (end == name.size()) return true;
        start = end + 1;
    }
}

}  // namespace tamber
