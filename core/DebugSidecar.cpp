#include "core/DebugSidecar.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <variant>
#include <vector>

#include "core/AtomicFile.h"
#include "core/Computer.h"
#include "core/Debugger.h"
#include "core/Mpus.h"

namespace {

// The sidecar is small; a larger file is not one.
constexpr std::uintmax_t kMaxSidecarBytes = 4u << 20;
constexpr int kMaxDepth = 16;

struct SJson;
using JsonArray = std::vector<SJson>;
using JsonObject = std::map<std::string, SJson>;
struct SJson {
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<JsonArray>,
                 std::shared_ptr<JsonObject>>
        value;
    const SJson* Get(const std::string& key) const {
        if (auto* object = std::get_if<std::shared_ptr<JsonObject>>(&value)) {
            auto found = (*object)->find(key);
            if (found != (*object)->end()) return &found->second;
        }
        return nullptr;
    }
    const JsonArray* Array() const {
        auto* array = std::get_if<std::shared_ptr<JsonArray>>(&value);
        return array ? array->get() : nullptr;
    }
    const std::string* String() const { return std::get_if<std::string>(&value); }
    const double* Number() const { return std::get_if<double>(&value); }
    const bool* Bool() const { return std::get_if<bool>(&value); }
};

class CJsonReader {
public:
    explicit CJsonReader(const std::string& text) : m_text(text) {}
    bool Read(SJson& out, std::string& error) {
        if (!Value(out, 0)) {
            error = m_error + " at offset " + std::to_string(m_pos);
            return false;
        }
        Blanks();
        if (m_pos != m_text.size()) {
            error = "text after the end at offset " + std::to_string(m_pos);
            return false;
        }
        return true;
    }

private:
    void Blanks() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    bool Fail(const char* why) {
        m_error = why;
        return false;
    }
    bool Literal(const char* word) {
        const std::string_view w(word);
        if (m_text.compare(m_pos, w.size(), w) != 0) return Fail("unknown word");
        m_pos += w.size();
        return true;
    }
    bool StringValue(std::string& out) {
        ++m_pos;  // the opening quote
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size()) break;
            const char e = m_text[m_pos++];
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    if (m_pos + 4 > m_text.size()) return Fail("short \\u escape");
                    unsigned code = 0;
                    for (int i = 0; i < 4; ++i) {
                        const char h = m_text[m_pos++];
                        code <<= 4;
                        if (h >= '0' && h <= '9')
                            code |= static_cast<unsigned>(h - '0');
                        else if (h >= 'a' && h <= 'f')
                            code |= static_cast<unsigned>(h - 'a' + 10);
                        else if (h >= 'A' && h <= 'F')
                            code |= static_cast<unsigned>(h - 'A' + 10);
                        else
                            return Fail("bad \\u escape");
                    }
                    // Conditions and watchpoints are ASCII; others become '?'.
                    out += code < 0x80 ? static_cast<char>(code) : '?';
                    break;
                }
                default: return Fail("bad escape");
            }
        }
        return Fail("unterminated string");
    }
    bool Value(SJson& out, int depth) {
        if (depth > kMaxDepth) return Fail("nested too deeply");
        Blanks();
        if (m_pos >= m_text.size()) return Fail("a value is missing");
        const char c = m_text[m_pos];
        if (c == '"') {
            std::string text;
            if (!StringValue(text)) return false;
            out.value = std::move(text);
            return true;
        }
        if (c == '{') {
            ++m_pos;
            auto object = std::make_shared<JsonObject>();
            Blanks();
            if (m_pos < m_text.size() && m_text[m_pos] == '}') {
                ++m_pos;
                out.value = object;
                return true;
            }
            for (;;) {
                Blanks();
                if (m_pos >= m_text.size() || m_text[m_pos] != '"') return Fail("a key is missing");
                std::string key;
                if (!StringValue(key)) return false;
                Blanks();
                if (m_pos >= m_text.size() || m_text[m_pos] != ':') return Fail("':' expected");
                ++m_pos;
                SJson member;
                if (!Value(member, depth + 1)) return false;
                (*object)[key] = std::move(member);
                Blanks();
                if (m_pos < m_text.size() && m_text[m_pos] == ',') {
                    ++m_pos;
                    continue;
                }
                if (m_pos < m_text.size() && m_text[m_pos] == '}') {
                    ++m_pos;
                    out.value = object;
                    return true;
                }
                return Fail("',' or '}' expected");
            }
        }
        if (c == '[') {
            ++m_pos;
            auto array = std::make_shared<JsonArray>();
            Blanks();
            if (m_pos < m_text.size() && m_text[m_pos] == ']') {
                ++m_pos;
                out.value = array;
                return true;
            }
            for (;;) {
                SJson element;
                if (!Value(element, depth + 1)) return false;
                array->push_back(std::move(element));
                Blanks();
                if (m_pos < m_text.size() && m_text[m_pos] == ',') {
                    ++m_pos;
                    continue;
                }
                if (m_pos < m_text.size() && m_text[m_pos] == ']') {
                    ++m_pos;
                    out.value = array;
                    return true;
                }
                return Fail("',' or ']' expected");
            }
        }
        if (c == 't') {
            out.value = true;
            return Literal("true");
        }
        if (c == 'f') {
            out.value = false;
            return Literal("false");
        }
        if (c == 'n') {
            out.value = nullptr;
            return Literal("null");
        }
        const char* start = m_text.c_str() + m_pos;
        char* end = nullptr;
        const double number = std::strtod(start, &end);
        if (end == start) return Fail("unexpected character");
        m_pos += static_cast<size_t>(end - start);
        out.value = number;
        return true;
    }

    const std::string& m_text;
    size_t m_pos = 0;
    std::string m_error;
};

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

bool InUse(const CDebugger& debugger, int units) {
    if (!debugger.GetWatchpoints().empty() || debugger.IsHistoryEnabled() ||
        debugger.IsProfileEnabled())
        return true;
    for (int slot = 0; slot < units; ++slot) {
        if (!debugger.GetConditions(slot).empty()) return true;
    }
    return false;
}

// A whole number from min to max.
bool WholeNumber(const SJson* value, double min, double max, int64_t& out) {
    const double* number = value ? value->Number() : nullptr;
    if (!number || *number < min || *number > max ||
        *number != static_cast<double>(static_cast<int64_t>(*number)))
        return false;
    out = static_cast<int64_t>(*number);
    return true;
}

}  // namespace

std::string DebugSidecarPath(const std::string& workspacePath) {
    return workspacePath + ".debug.json";
}

bool SaveDebugSidecar(const CComputer& computer, const std::string& workspacePath,
                      std::string& error) {
    const CDebugger& debugger = computer.Debugger();
    const int units = computer.GetMpus() ? computer.GetMpus()->GetCount() : 0;
    const std::string path = DebugSidecarPath(workspacePath);
    std::error_code code;
    if (!InUse(debugger, units) && !std::filesystem::exists(path, code)) return true;

    std::ostringstream out;
    out << "{\n  \"version\": 1,\n  \"watchpoints\": [";
    const char* separator = "";
    for (const SWatchpoint& watch : debugger.GetWatchpoints()) {
        out << separator << "\n    {\"watch\": " << Quoted(FormatWatchpoint(watch))
            << ", \"unit\": " << watch.slot << "}";
        separator = ",";
    }
    out << "],\n  \"conditions\": [";
    separator = "";
    for (int slot = 0; slot < units; ++slot) {
        for (const auto& [address, entry] : debugger.GetConditions(slot)) {
            out << separator << "\n    {\"unit\": " << slot << ", \"address\": \"" << Hex(address)
                << "\", \"condition\": " << Quoted(entry.condition)
                << ", \"ignore\": " << entry.ignoreCount << "}";
            separator = ",";
        }
    }
    const SHistoryLimits limits = debugger.GetHistoryLimits();
    out << "],\n  \"history\": {\"enabled\": " << (debugger.IsHistoryEnabled() ? "true" : "false")
        << ", \"instructions\": " << limits.instructions << ", \"bytes\": " << limits.bytes
        << "},\n  \"profile\": {\"enabled\": " << (debugger.IsProfileEnabled() ? "true" : "false")
        << "}\n}\n";
    const std::string text = out.str();
    return WriteFileAtomically(
        path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), &error);
}

bool LoadDebugSidecar(CComputer& computer, const std::string& workspacePath, std::string& error) {
    error.clear();
    const std::string path = DebugSidecarPath(workspacePath);
    std::error_code code;
    if (!std::filesystem::exists(path, code)) return true;
    const std::uintmax_t size = std::filesystem::file_size(path, code);
    if (code || size > kMaxSidecarBytes) {
        error = "Cannot read " + path + ": " + (code ? code.message() : "it is too large");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (!in && !in.eof()) {
        error = "Cannot read " + path;
        return false;
    }
    SJson root;
    std::string reason;
    if (!CJsonReader(buffer.str()).Read(root, reason)) {
        error = path + " is not a debug file: " + reason;
        return false;
    }
    auto bad = [&](const std::string& what) {
        error = path + " is not a debug file: " + what;
        return false;
    };
    int64_t version = 0;
    if (!WholeNumber(root.Get("version"), 1, 1, version)) return bad("version 1 expected");

    // Everything is checked before anything changes.
    std::vector<SWatchpoint> watches;
    if (const SJson* list = root.Get("watchpoints")) {
        if (!list->Array()) return bad("watchpoints is not a list");
        for (const SJson& item : *list->Array()) {
            const SJson* text = item.Get("watch");
            SWatchpoint watch;
            if (!text || !text->String() || !ParseWatchpoint(*text->String(), watch, reason))
                return bad("a watchpoint is malformed");
            int64_t slot = -1;
            if (item.Get("unit") && !WholeNumber(item.Get("unit"), -1, 7, slot))
                return bad("a watchpoint's unit is not -1 to 7");
            watch.slot = static_cast<int>(slot);
            watches.push_back(watch);
        }
    }
    struct SCondition {
        int slot;
        uint32_t address;
        std::string condition;
        uint32_t ignore;
    };
    std::vector<SCondition> conditions;
    if (const SJson* list = root.Get("conditions")) {
        if (!list->Array()) return bad("conditions is not a list");
        for (const SJson& item : *list->Array()) {
            int64_t slot = 0, ignore = 0;
            const SJson* address = item.Get("address");
            const SJson* condition = item.Get("condition");
            uint32_t at = 0;
            if (!WholeNumber(item.Get("unit"), 0, 7, slot) || !address || !address->String() ||
                address->String()->empty() || address->String()->size() > 8 ||
                address->String()->find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return bad("a condition's unit or address is malformed");
            at = static_cast<uint32_t>(std::stoul(*address->String(), nullptr, 16));
            if (item.Get("ignore") && !WholeNumber(item.Get("ignore"), 0, 4294967295.0, ignore))
                return bad("an ignore count is not a whole number");
            if (condition && !condition->String()) return bad("a condition is not text");
            conditions.push_back({static_cast<int>(slot), at,
                                  condition ? *condition->String() : std::string(),
                                  static_cast<uint32_t>(ignore)});
        }
    }
    bool history = false, profile = false;
    SHistoryLimits limits;
    if (const SJson* section = root.Get("history")) {
        const SJson* enabled = section->Get("enabled");
        if (enabled && enabled->Bool()) history = *enabled->Bool();
        int64_t number = 0;
        if (section->Get("instructions")) {
            if (!WholeNumber(section->Get("instructions"), 1, 1e12, number))
                return bad("the history length is not a positive whole number");
            limits.instructions = static_cast<uint64_t>(number);
        }
        if (section->Get("bytes")) {
            if (!WholeNumber(section->Get("bytes"), 4096, 1e12, number))
                return bad("the history memory is not a whole number of bytes from 4096");
            limits.bytes = static_cast<uint64_t>(number);
        }
    }
    if (const SJson* section = root.Get("profile")) {
        const SJson* enabled = section->Get("enabled");
        if (enabled && enabled->Bool()) profile = *enabled->Bool();
    }

    CDebugger& debugger = computer.Debugger();
    debugger.SetWatchpoints(std::move(watches));
    const int units = computer.GetMpus() ? computer.GetMpus()->GetCount() : 0;
    for (int slot = 0; slot < units; ++slot)
        debugger.ClearConditions(slot);
    std::string skipped;
    for (const SCondition& entry : conditions) {
        std::string why;
        if (!debugger.SetCondition(entry.slot, entry.address, entry.condition, entry.ignore, &why))
            skipped += (skipped.empty() ? "" : "; ") + Hex(entry.address) + ": " + why;
    }
    debugger.SetHistoryLimits(limits);
    debugger.SetHistoryEnabled(history);
    debugger.SetProfileEnabled(profile);
    if (!skipped.empty()) error = "Some conditions of " + path + " were skipped: " + skipped;
    return true;
}
