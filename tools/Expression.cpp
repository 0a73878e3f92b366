#include "tools/Expression.h"

#include <algorithm>
#include <cstdint>

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 99;
}

enum class EOp {
    kNone,
    kOrOr,
    kAndAnd,
    kOr,
    kXor,
    kAnd,
    kEqual,
    kNotEqual,
    kLess,
    kLessEqual,
    kGreater,
    kGreaterEqual,
    kShiftLeft,
    kShiftRight,
    kAdd,
    kSubtract,
    kMultiply,
    kDivide,
};

int Precedence(EOp op) {
    switch (op) {
        case EOp::kNone: return 0;
        case EOp::kOrOr: return 1;
        case EOp::kAndAnd: return 2;
        case EOp::kOr: return 3;
        case EOp::kXor: return 4;
        case EOp::kAnd: return 5;
        case EOp::kEqual:
        case EOp::kNotEqual: return 6;
        case EOp::kLess:
        case EOp::kLessEqual:
        case EOp::kGreater:
        case EOp::kGreaterEqual: return 7;
        case EOp::kShiftLeft:
        case EOp::kShiftRight: return 8;
        case EOp::kAdd:
        case EOp::kSubtract: return 9;
        case EOp::kMultiply:
        case EOp::kDivide: return 10;
    }
    return 0;
}

class CParser {
public:
    CParser(std::string_view text, size_t pos, const NameResolver& resolver,
            SExpressionError& error, const SExpressionOptions* options = nullptr)
        : m_text(text), m_pos(pos), m_resolver(resolver), m_error(error), m_options(options) {}

    bool Expression(SExpressionValue& result) { return Binary(1, result, 0); }
    size_t Pos() const { return m_pos; }

private:
    char Peek(size_t ahead = 0) const {
        return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : '\0';
    }
    void SkipBlanks() {
        while (Peek() == ' ' || Peek() == '\t')
            ++m_pos;
    }
    bool Fail(size_t offset, std::string message) {
        m_error.offset = offset;
        m_error.message = std::move(message);
        return false;
    }

    // The binary operator at the cursor (not consumed) and its length.
    EOp PeekOp(size_t& length) const {
        const char c = Peek();
        const char d = Peek(1);
        length = 2;
        if (c == '|' && d == '|') return EOp::kOrOr;
        if (c == '&' && d == '&') return EOp::kAndAnd;
        if (c == '=' && d == '=') return EOp::kEqual;
        if (c == '!' && d == '=') return EOp::kNotEqual;
        if (c == '<' && d == '=') return EOp::kLessEqual;
        if (c == '>' && d == '=') return EOp::kGreaterEqual;
        if (c == '<' && d == '<') return EOp::kShiftLeft;
        if (c == '>' && d == '>') return EOp::kShiftRight;
        length = 1;
        switch (c) {
            case '|': return EOp::kOr;
            case '^': return EOp::kXor;
            case '&': return EOp::kAnd;
            case '<': return EOp::kLess;
            case '>': return EOp::kGreater;
            case '+': return EOp::kAdd;
            case '-': return EOp::kSubtract;
            case '*': return EOp::kMultiply;
            case '/': return EOp::kDivide;
            default: length = 0; return EOp::kNone;
        }
    }

    bool Binary(int minPrecedence, SExpressionValue& left, int depth) {
        if (!Unary(left, depth)) return false;
        for (;;) {
            SkipBlanks();
            size_t length = 0;
            const EOp op = PeekOp(length);
            const int precedence = Precedence(op);
            if (op == EOp::kNone || precedence < minPrecedence) return true;
            const size_t opAt = m_pos;
            m_pos += length;
            SExpressionValue right;
            if (!Binary(precedence + 1, right, depth + 1)) return false;
            if (!Apply(op, left, right, opAt)) return false;
        }
    }

    bool Apply(EOp op, SExpressionValue& left, const SExpressionValue& right, size_t opAt) {
        const uint64_t a = static_cast<uint64_t>(left.value);
        const uint64_t b = static_cast<uint64_t>(right.value);
        uint64_t r = 0;
        switch (op) {
            case EOp::kNone: break;
            case EOp::kOrOr: r = (a != 0 || b != 0); break;
            case EOp::kAndAnd: r = (a != 0 && b != 0); break;
            case EOp::kOr: r = a | b; break;
            case EOp::kXor: r = a ^ b; break;
            case EOp::kAnd: r = a & b; break;
            case EOp::kEqual: r = a == b; break;
            case EOp::kNotEqual: r = a != b; break;
            case EOp::kLess: r = left.value < right.value; break;
            case EOp::kLessEqual: r = left.value <= right.value; break;
            case EOp::kGreater: r = left.value > right.value; break;
            case EOp::kGreaterEqual: r = left.value >= right.value; break;
            case EOp::kShiftLeft: r = b >= 64 ? 0 : a << b; break;
            case EOp::kShiftRight: r = b >= 64 ? 0 : a >> b; break;
            case EOp::kAdd: r = a + b; break;
            case EOp::kSubtract: r = a - b; break;
            case EOp::kMultiply: r = a * b; break;
            case EOp::kDivide:
                if (b == 0) {
                    // A pending name stands in as 0 until it is known.
                    if (right.pending || left.pending) {
                        r = 0;
                        break;
                    }
                    return Fail(opAt, "division by zero");
                }
                if (left.value == INT64_MIN && right.value == -1) {
                    r = a;
                    break;
                }
                r = static_cast<uint64_t>(left.value / right.value);
                break;
        }
        left.value = static_cast<int64_t>(r);
        left.pending = left.pending || right.pending;
        left.literalBytes = std::max(left.literalBytes, right.literalBytes);
        left.plainZero = false;
        return true;
    }

    bool Unary(SExpressionValue& result, int depth) {
        if (depth > CExpression::kMaxDepth) return Fail(m_pos, "the expression nests too deeply");
        SkipBlanks();
        const char c = Peek();
        if (c == '-' || c == '~' || c == '!' || c == '<' || c == '>' || c == '+') {
            ++m_pos;
            if (!Unary(result, depth + 1)) return false;
            const uint64_t v = static_cast<uint64_t>(result.value);
            switch (c) {
                case '-': result.value = static_cast<int64_t>(0 - v); break;
                case '~': result.value = static_cast<int64_t>(~v); break;
                case '!': result.value = v == 0; break;
                case '<': result.value = static_cast<int64_t>(v & 0xFF); break;
                case '>': result.value = static_cast<int64_t>(v >> 8 & 0xFF); break;
                default: break;
            }
            result.plainZero = false;
            return true;
        }
        return Primary(result, depth);
    }

    bool Primary(SExpressionValue& result, int depth) {
        const size_t start = m_pos;
        const char c = Peek();
        if (c == '(') {
            ++m_pos;
            if (!Binary(1, result, depth + 1)) return false;
            SkipBlanks();
            if (Peek() != ')') return Fail(m_pos, "')' expected");
            ++m_pos;
            result.plainZero = false;
            return true;
        }
        if (c == '*') {
            ++m_pos;
            return Name(start, "*", result);
        }
        if (c == '[' && m_options && m_options->memory) {
            ++m_pos;
            if (!Binary(1, result, depth + 1)) return false;
            SkipBlanks();
            if (Peek() != ']') return Fail(m_pos, "']' expected");
            ++m_pos;
            int64_t value = 0;
            if (!m_options->memory(static_cast<uint64_t>(result.value), value))
                return Fail(start, "no memory at that address");
            result = {};
            result.value = value;
            return true;
        }
        if (c == '\'') return Character(result);
        if (c == '$') {
            ++m_pos;
            return Digits(start, 16, result);
        }
        if (c == '%') {
            ++m_pos;
            return Digits(start, 2, result);
        }
        if (c == '0' && (Peek(1) == 'x' || Peek(1) == 'X') && DigitValue(Peek(2)) < 16) {
            m_pos += 2;
            return Digits(start, 16, result);
        }
        if (!CExpression::IsNameChar(c)) {
            if (c == '\0') return Fail(m_pos, "a value is missing");
            return Fail(m_pos, std::string("unexpected '") + c + "'");
        }
        size_t end = m_pos;
        while (end < m_text.size() && CExpression::IsNameChar(m_text[end]))
            ++end;
        std::string_view word = m_text.substr(m_pos, end - m_pos);
        // 255. is decimal.
        if (word.size() > 1 && word.back() == '.' &&
            word.find_first_not_of("0123456789") == word.size() - 1) {
            return Digits(start, 10, result);
        }
        if (CExpression::IsHexWord(word)) {
            int64_t value = 0;
            if (m_options && m_options->namesBeforeNumbers && m_resolver &&
                m_resolver(word, value) == ENameLookup::kFound) {
                m_pos = end;
                result = {};
                result.value = value;
                return true;
            }
            return Digits(start, 16, result);
        }
        if (word.front() >= '0' && word.front() <= '9')
            return Fail(start, "'" + std::string(word) + "' is not a number");
        m_pos = end;
        return Name(start, word, result);
    }

    bool Digits(size_t start, int base, SExpressionValue& result) {
        const size_t first = m_pos;
        uint64_t value = 0;
        bool overflow = false;
        while (DigitValue(Peek()) < base) {
            const uint64_t digit = static_cast<uint64_t>(DigitValue(Peek()));
            if (value > (UINT64_MAX - digit) / static_cast<uint64_t>(base)) overflow = true;
            value = value * static_cast<uint64_t>(base) + digit;
            ++m_pos;
        }
        const size_t count = m_pos - first;
        if (count == 0) return Fail(start, "digits expected");
        if (base == 10) ++m_pos;  // the dot
        if (CExpression::IsNameChar(Peek()))
            return Fail(start, "'" + std::string(m_text.substr(start, m_pos + 1 - start)) +
                                   "' is not a number");
        if (overflow || value > 0xFFFFFFFFull) return Fail(start, "the number is too large");
        result = {};
        result.value = static_cast<int64_t>(value);
        if (base == 16) result.literalBytes = static_cast<int>((count + 1) / 2);
        result.plainZero = base == 16 && count == 1 && value == 0 && m_text[start] == '0';
        return true;
    }

    bool Character(SExpressionValue& result) {
        const size_t start = m_pos;
        if (Peek(2) != '\'' || Peek(1) == '\0') return Fail(start, "a character constant is 'c'");
        result = {};
        result.value = static_cast<unsigned char>(Peek(1));
        m_pos += 3;
        return true;
    }

    bool Name(size_t start, std::string_view name, SExpressionValue& result) {
        result = {};
        int64_t value = 0;
        switch (m_resolver ? m_resolver(name, value) : ENameLookup::kUndefined) {
            case ENameLookup::kFound: result.value = value; return true;
            case ENameLookup::kPending: result.pending = true; return true;
            case ENameLookup::kUndefined:
                if (name == "*") return Fail(start, "'*' has no value here");
                return Fail(start, "unknown name '" + std::string(name) + "'");
        }
        return false;
    }

    std::string_view m_text;
    size_t m_pos;
    const NameResolver& m_resolver;
    SExpressionError& m_error;
    const SExpressionOptions* m_options;
};

}  // namespace

bool CExpression::IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '.';
}

bool CExpression::IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

bool CExpression::IsHexWord(std::string_view word) {
    if (word.empty()) return false;
    for (char c : word) {
        if (DigitValue(c) >= 16) return false;
    }
    return true;
}

bool CExpression::Parse(std::string_view text, size_t& pos, const NameResolver& resolver,
                        SExpressionValue& result, SExpressionError& error) {
    CParser parser(text, pos, resolver, error);
    result = {};
    if (!parser.Expression(result)) return false;
    pos = parser.Pos();
    return true;
}

bool CExpression::Evaluate(std::string_view text, const NameResolver& resolver,
                           SExpressionValue& result, SExpressionError& error) {
    return Evaluate(text, resolver, SExpressionOptions{}, result, error);
}

bool CExpression::Evaluate(std::string_view text, const NameResolver& resolver,
                           const SExpressionOptions& options, SExpressionValue& result,
                           SExpressionError& error) {
    size_t pos = 0;
    CParser parser(text, pos, resolver, error, &options);
    result = {};
    if (!parser.Expression(result)) return false;
    pos = parser.Pos();
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    if (pos < text.size()) {
        error.offset = pos;
        error.message = std::string("unexpected '") + text[pos] + "'";
        return false;
    }
    return true;
}
