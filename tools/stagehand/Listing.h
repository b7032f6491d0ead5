#pragma once

#include <stagehand/DisplayModeEnumerator.h>

#include <nlohmann/json.hpp>

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

// One listing of the tool, printed as an aligned table under its headings, or as a JSON
// array with one object a row. A row's fields go to its object in the order given, and
// to the table column of the same key; a field without a column is JSON only.
class Listing {
public:
    struct Column {
        const char* key;
        const char* heading;
        int width;    // negative aligns left
        int gap = 1;  // spaces before the next column
    };

    Listing(bool json, std::initializer_list<Column> columns);

    Listing& text(const char* key, const std::string& value);
    // An empty value is null in JSON.
    Listing& textOrNull(const char* key, const std::string& value);
    Listing& number(const char* key, long long value);
    // A number that the table shows in another form.
    Listing& number(const char* key, long long value, const std::string& shown);
    Listing& flag(const char* key, bool value);
    Listing& rect(const char* key, const RECT& value);
    // Any JSON value, which the table shows as `shown`.
    Listing& value(const char* key, const nlohmann::ordered_json& value, const std::string& shown);
    void endRow();

    // Prints the JSON document; the table was printed row by row.
    void finish();

private:
    // Sets the field `key`: in JSON its object's member, in the table its cell.
    void field(const char* key, const nlohmann::ordered_json& value, const std::string& shown);
    void printLine(const std::vector<std::string>& cells) const;

    bool m_json;
    std::vector<Column> m_columns;
    nlohmann::ordered_json m_rows = nlohmann::ordered_json::array();
    nlohmann::ordered_json m_row = nlohmann::ordered_json::object();
    std::vector<std::string> m_cells;
};

// A display mode as the listings and reports write it: width, height, refresh, bitsPerPixel.
nlohmann::ordered_json modeJson(const stagehand::DisplayMode& mode);
