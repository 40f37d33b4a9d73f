// Rows of RFC 4180 text as the outbox is written: fields separated by commas, a field that
// holds a comma, a quote or a line break quoted with its quotes doubled, rows ended by CR LF
// (a lone LF is taken too). Plain logic.
#pragma once

#include <string>
#include <vector>

struct CsvRow {
  std::vector<std::string> fields;
  std::string raw;          // the row's bytes as they stood, its line end included
  bool terminated = false;  // ended by a line end (not cut off by the end of the text)
  bool wellFormed = true;   // no stray quote, no quoted field left open
};

std::vector<CsvRow> ReadCsvRows(const std::string& text);
