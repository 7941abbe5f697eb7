#include "retrieval/FieldRules.h"

#include "text/Utf8.h"

namespace tervane {

namespace {

constexpr char32_t kCaseOffset = U'a' - U'A';
constexpr std::size_t kStateCodeCharacters = 2;

bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool IsCapital(char32_t c) { return c >= U'A' && c <= U'Z'; }
bool IsSmall(char32_t c) { return c >= U'a' && c <= U'z'; }

// Whether the field takes this capital letter (and so its small form, made capital).
bool AcceptsLetter(FilteredField field, char32_t capital)
{
    switch (field) {
    case FilteredField::ControlType:
    case FilteredField::Project:
        return IsCapital(capital);
    case FilteredField::Latitude:
        return capital == U'N' || capital == U'S';
    case FilteredField::Longitude:
        return capital == U'E' || capital == U'W';
    case FilteredField::Radius:
        return false;
    }
    return false;
}

} // namespace

std::optional<char32_t> FieldCharacter(FilteredField field, char32_t typed)
{
    if (IsDigit(typed) || (field == FilteredField::Radius && typed == U'.'))
        return typed;
    if (IsCapital(typed) && AcceptsLetter(field, typed))
        return typed;
    if (IsSmall(typed) && AcceptsLetter(field, typed - kCaseOffset))
        return typed - kCaseOffset;
    return std::nullopt;
}

bool ApplyFieldRule(FilteredField field, std::string& text)
{
    for (char& c : text) {
        const std::optional<char32_t> taken = FieldCharacter(field, static_cast<unsigned char>(c));
        if (!taken)
            return false;
        // Only ASCII is ever taken, so the character fits its byte again.
        c = static_cast<char>(*taken);
    }
    return true;
}

std::string StateCode(std::string_view stateText)
{
    std::size_t end = 0;
    for (std::size_t taken = 0; taken < kStateCodeCharacters && end < stateText.size(); ++taken) {
        ++end;
        while (end < stateText.size() && IsUtf8Continuation(static_cast<unsigned char>(stateText[end])))
            ++end;
    }
    return std::string(stateText.substr(0, end));
}

} // namespace tervane
