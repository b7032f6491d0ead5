#include "Listing.h"

#include "Text.h"

#include <cstdio>
#include <cstring>

Listing::Listing(bool json, std::initializer_list<Column> columns)
    : m_json(json), m_columns(columns), m_cells(m_columns.size())
{
    if (m_json)
        return;
    std::vector<std::string> headings;
    for (const Column& column : m_columns)
        headings.push_back(column.heading);
    printLine(headings);
}

void Listing::field(const char* key, const nlohmann::ordered_json& value, const std::string& shown)
{
    if (m_json) {
        m_row[key] = value;
        return;
    }
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (std::strcmp(m_columns[i].key, key) == 0)
            m_cells[i] = escapeControls(shown);
}

void Listing::printLine(const std::vector<std::string>& cells) const
{
    std::string line;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const Column& column = m_columns[i];
        size_t width = static_cast<size_t>(column.width < 0 ? -column.width : column.width);
        std::string pad(cells[i].size() < width ? width - cells[i].size() : 0, ' ');
        line += column.width < 0 ? cells[i] + pad : pad + cells[i];
        if (i + 1 < m_columns.size())
            line += std::string(static_cast<size_t>(column.gap), ' ');
    }
    std::printf("%s\n", line.c_str());
}

Listing& Listing::text(const char* key, const std::string& value)
{
    field(key, value, value);
    return *this;
}

Listing& Listing::textOrNull(const char* key, const std::string& value)
{
    field(key, value.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(value), value);
    return *this;
}

Listing& Listing::number(const char* key, long long value)
{
    return number(key, value, std::to_string(value));
}

Listing& Listing::number(const char* key, long long value, const std::string& shown)
{
    field(key, value, shown);
    return *this;
}

Listing& Listing::flag(const char* key, bool value)
{
    field(key, value, value ? "yes" : "no");
    return *this;
}

Listing& Listing::rect(const char* key, const RECT& value)
{
    nlohmann::ordered_json r = {{"left", value.left}, {"top", value.top}, {"right", value.right}, {"bottom", value.bottom}};
    field(key, r, rectText(value));
    return *this;
}

Listing& Listing::value(const char* key, const nlohmann::ordered_json& value, const std::string& shown)
{
    field(key, value, shown);
    return *this;
}

void Listing::endRow()
{
    if (m_json) {
        m_rows.push_back(m_row);
        m_row = nlohmann::ordered_json::object();
        return;
    }
    printLine(m_cells);
    m_cells.assign(m_columns.size(), std::string());
}

void Listing::finish()
{
    if (m_json)
        std::printf("%s\n", m_rows.dump().c_str());
}

nlohmann::ordered_json modeJson(const stagehand::DisplayMode& mode)
{
    return {{"width", mode.width}, {"height", mode.height}, {"refresh", mode.refresh},
            {"bitsPerPixel", mode.bitsPerPixel}};
}
