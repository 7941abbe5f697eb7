#pragma once

// Reads the mark-list service's reply: one fixed-column line per mark.
//
//   | columns | field                | columns | field               |
//   |  7-12   | pid                  |  31-36  | latitudeText        |
//   |  14     | horizontalOrder      |  38     | longitudeHemisphere |
//   |  16     | verticalOrder        |  39-45  | longitudeText       |
//   |  30     | latitudeHemisphere   |  52-end | designation         |
//
// A mark line is any line whose fourth character is '.'. Lines are cut at LF; a CR
// before it stays in the last field. A first line starting "INPUT ERR" is the
// service's input-error reply.
//
// The record list keeps the reply text and nothing per mark: each record is cut from
// its line when it is visited, as views into that text. A reply of millions of short
// lines so costs its own size, not a record of eight texts per line.

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

namespace tervane {

// How the service's input-error reply starts ("INPUT ERROR: ...", on an error status too).
inline constexpr std::string_view kInputErrorPrefix = "INPUT ERR";

inline bool IsInputErrorReply(std::string_view text)
{
    return text.substr(0, kInputErrorPrefix.size()) == kInputErrorPrefix;
}

inline constexpr std::string_view kMsgNoMarks = "No marks found!";

// One mark of the reply. The fields view the reply text; a field that starts past the
// end of its line is empty, one that the end cuts short is shorter than its columns.
struct MarkRecord {
    std::string_view pid;
    std::string_view horizontalOrder;
    std::string_view verticalOrder;
    std::string_view latitudeHemisphere;
    std::string_view latitudeText;
    std::string_view longitudeHemisphere;
    std::string_view longitudeText;
    std::string_view designation; // the mark's name
};

// How the control type overrides the horizontal order code.
enum class OrderCodeRule {
    AsRead,
    Star,         // CORS: every mark "S"
    NoHorizontal, // vertical types: every horizontal order empty
};

// The request code of "CORS": every mark's horizontal order is shown as "S" (a star).
inline constexpr std::string_view kCorsCode = "COR-0";
// The request code of "HORIZONTAL": its placemarks are styled by horizontal order only.
inline constexpr std::string_view kHorizontalOnlyCode = "H-0-0";

// The order-code rules of the control types, keyed on their request codes. Applied while
// the reply is read: CORS marks all show horizontal order "S"; vertical types ("V...")
// show no horizontal order. Applied as the placemarks are written: "HORIZONTAL" shows no
// vertical order.
bool IsCorsCode(std::string_view code);
bool IsVerticalCode(std::string_view code);
bool IsHorizontalOnlyCode(std::string_view code);

struct MarkListReply;

// The mark records of one reply, in reply order. Owns the reply text; records handed out
// view it, so they stay valid while the list lives and is not moved or assigned.
class MarkRecords {
public:
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = MarkRecord;
        using difference_type = std::ptrdiff_t;
        using pointer = const MarkRecord*;
        using reference = const MarkRecord&;

        Iterator() = default;
        const MarkRecord& operator*() const { return m_record; }
        const MarkRecord* operator->() const { return &m_record; }
        Iterator& operator++();
        Iterator operator++(int)
        {
            Iterator before = *this;
            ++*this;
            return before;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.m_line == b.m_line; }

    private:
        friend class MarkRecords;
        Iterator(std::string_view text, std::size_t line, OrderCodeRule rule);
        void Cut();

        std::string_view m_text;
        std::size_t m_line = std::string_view::npos; // start of the current mark line; npos at the end
        std::size_t m_next = std::string_view::npos; // start of the line after it
        OrderCodeRule m_rule = OrderCodeRule::AsRead;
        MarkRecord m_record;
    };

    MarkRecords() = default;

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    Iterator begin() const { return Iterator(m_text, m_first, m_rule); }
    Iterator end() const { return Iterator(); }

private:
    friend MarkListReply ReadMarkList(std::string reply, std::string_view controlCode);

    std::string m_text;
    std::size_t m_count = 0;
    std::size_t m_first = std::string_view::npos; // start of the first mark line
    OrderCodeRule m_rule = OrderCodeRule::AsRead;
};

enum class ReplyOutcome { InputError, NoMarks, Marks };

struct MarkListReply {
    ReplyOutcome outcome = ReplyOutcome::NoMarks;
    std::string message; // InputError: the reply's first line
    MarkRecords records; // Marks: at least one, in reply order
};

// Reads `reply`, applying the order-code rules of `controlCode` (CORS: horizontal order
// "S"; vertical types: horizontal order empty). The text is taken over, not copied: move
// a large reply in.
MarkListReply ReadMarkList(std::string reply, std::string_view controlCode);

} // namespace tervane
