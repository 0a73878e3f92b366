#pragma once
// Expressions over numbers and names, for the assemblers and for anything
// else that reads a typed value (conditional breakpoints add registers, flags
// and memory as names through the resolver).
//
//   numbers   bare hexadecimal (FF04, as the listings print them), $FF, 0xFF,
//             %1010 binary, 255. decimal (a trailing dot), 'A' a character
//   names     letters, digits, '_' and '.', not starting with a digit; a word
//             made only of hexadecimal digits (BEEF) reads as a number
//   *         the caller's current location (resolved as the name "*")
//   unary     - ~ ! < (low byte) > (high byte)
//   binary    * /  + -  << >>  < <= > >=  == !=  &  ^  |  &&  ||
//             (C precedence, tightest first; comparisons give 1 or 0)
//
// Values are 64-bit two's complement; arithmetic wraps.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

enum class ENameLookup {
    kFound,
    kPending,    // known later (a label further on in a first pass)
    kUndefined,  // not known at all
};

// Looks a name up; sets value when found.
using NameResolver = std::function<ENameLookup(std::string_view name, int64_t& value)>;

struct SExpressionValue {
    int64_t value = 0;
    // Some name was pending: the value is not final.
    bool pending = false;
    // Bytes the widest number literal was written with ($0010: 2), 0 for none.
    int literalBytes = 0;
    // The whole expression was the single number literal "0".
    bool plainZero = false;
};

// What a caller may add to the syntax (breakpoint conditions do).
struct SExpressionOptions {
    // A word the resolver knows is a name even when it reads as a hexadecimal
    // number (the 6502's register A, flag C); other such words stay numbers.
    bool namesBeforeNumbers = false;
    // [expression] reads memory at the address through this; without it
    // '[' is an error.
    std::function<bool(uint64_t address, int64_t& value)> memory;
};

struct SExpressionError {
    size_t offset = 0;  // into the text
    std::string message;
};

class CExpression {
public:
    // Nested parentheses and unary operators allowed in one expression.
    static constexpr int kMaxDepth = 64;

    // Reads one expression from text at pos and leaves pos after it (at the
    // first character that cannot continue it, such as ',' or an unmatched
    // ')'). False with the error's offset and message.
    static bool Parse(std::string_view text, size_t& pos, const NameResolver& resolver,
                      SExpressionValue& result, SExpressionError& error);
    // The whole text must be one expression.
    static bool Evaluate(std::string_view text, const NameResolver& resolver,
                         SExpressionValue& result, SExpressionError& error);
    static bool Evaluate(std::string_view text, const NameResolver& resolver,
                         const SExpressionOptions& options, SExpressionValue& result,
                         SExpressionError& error);

    static bool IsNameStart(char c);
    static bool IsNameChar(char c);
    // A word that reads as a bare hexadecimal number.
    static bool IsHexWord(std::string_view word);
};
