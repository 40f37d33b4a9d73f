#include "records/CsvRows.h"

namespace {

// The row starting at `at`; `at` moves past it.
CsvRow ReadRow(const std::string& text, std::size_t& at) {
  CsvRow row;
  const std::size_t begin = at;
  std::string field;
  bool quoted = false;      // inside a quoted field
  bool wasQuoted = false;   // the current field began with a quote and it has been closed
  while (at < text.size()) {
    const char c = text[at++];
    if (quoted) {
      if (c != '"') {
        field.push_back(c);
      } else if (at < text.size() && text[at] == '"') {
        field.push_back('"');
        ++at;
      } else {
        quoted = false;
        wasQuoted = true;
      }
      continue;
    }
    if (c == ',') {
      row.fields.push_back(field);
      field.clear();
      wasQuoted = false;
    } else if (c == '\n' || (c == '\r' && at < text.size() && text[at] == '\n')) {
      if (c == '\r') ++at;
      row.terminated = true;
      break;
    } else if (c == '"' && field.empty() && !wasQuoted) {
      quoted = true;
    } else {
      if (wasQuoted || c == '"') row.wellFormed = false;  // text after a closing quote, or a stray one
      field.push_back(c);
    }
  }
  if (quoted) row.wellFormed = false;
  row.fields.push_back(field);
  row.raw = text.substr(begin, at - begin);
  return row;
}

}  // namespace

std::vector<CsvRow> ReadCsvRows(const std::string& text) {
  std::vector<CsvRow> rows;
  for (std::size_t at = 0; at < text.size();) rows.push_back(ReadRow(text, at));
  return rows;
}
