#include "kml/CsvWriter.h"

#include "kml/KmlWriter.h"
#include "kml/XmlText.h"
#include "text/Trim.h"

#include <algorithm>

namespace tervane {

namespace {

// Appends one text field and the separator after it: repaired, trimmed of spaces when
// `trim`, defused where a spreadsheet would read a formula, quoted where RFC 4180 needs it.
void AppendField(std::string& out, std::string_view text, char separator, bool trim = true)
{
    const std::string repaired = EscapeKml(text, KmlEscape::None);
    std::string_view value = repaired;
    if (trim)
        value = TrimSpaces(value);
    const bool formula =
        !value.empty() && std::string_view("=+-@\t").find(value.front()) != std::string_view::npos;
    if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
        if (formula)
            out += '\'';
        out += value;
    } else {
        out += '"';
        if (formula)
            out += '\'';
        for (const char c : value) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    out += separator;
}

class CsvDocumentWriter final : public DocumentWriter {
public:
    explicit CsvDocumentWriter(std::string_view serviceUrl) : m_serviceUrl(serviceUrl) {}

    bool Start(std::ostream& out, const DocumentExtent&) override
    {
        out.write(kCsvHeader.data(), static_cast<std::streamsize>(kCsvHeader.size()));
        return static_cast<bool>(out);
    }

    void Mark(std::string& out, const MarkRecord& record, double latitude, double longitude,
              std::string_view verticalOrder) override
    {
        AppendField(out, record.pid, ',');
        AppendField(out, record.designation, ',');
        AppendKmlNumber(out, latitude);
        out += ',';
        AppendKmlNumber(out, longitude);
        out += ',';
        AppendField(out, record.horizontalOrder, ',');
        AppendField(out, verticalOrder, ',');
        AppendField(out, DatasheetLink(m_serviceUrl, record.pid), '\r', false);
        out += '\n';
    }

    void Finish(std::string&) override {}

private:
    std::string_view m_serviceUrl;
};

} // namespace

std::unique_ptr<DocumentWriter> MakeCsvWriter(const WriterSettings& settings)
{
    return std::make_unique<CsvDocumentWriter>(settings.serviceUrl);
}

} // namespace tervane
