// Turns a sample description (samples/README.md explains the format) into
// a DBF file: make_samples IN.txt OUT.dbf
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/dbf_writer.h"
#include "values/text.h"

namespace {

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(line);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!line.empty() && line.back() == separator) parts.emplace_back();
  return parts;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_samples IN.txt OUT.dbf\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << "make_samples: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::vector<tarvelo::testing::DbfFieldSpec> fields;
  std::vector<std::pair<std::vector<std::string>, bool>> records;
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '@') {
      std::istringstream spec(line.substr(1));
      tarvelo::testing::DbfFieldSpec field;
      std::string type;
      spec >> field.name >> type >> field.length;
      if (!spec || type.size() != 1) {
        std::cerr << argv[1] << ":" << lineNumber << ": bad field line\n";
        return 1;
      }
      field.type = type[0];
      spec >> field.decimals;
      fields.push_back(field);
      continue;
    }
    const bool deleted = line.rfind("*|", 0) == 0;
    auto values = Split(tarvelo::Utf8ToCp1252(deleted ? line.substr(2) : line), '|');
    if (values.size() > fields.size()) {
      std::cerr << argv[1] << ":" << lineNumber << ": more values than fields\n";
      return 1;
    }
    records.emplace_back(std::move(values), deleted);
  }
  tarvelo::testing::DbfWriter writer(fields);
  for (const auto& [values, deleted] : records) writer.AddRecord(values, deleted);
  try {
    writer.WriteTo(argv[2]);
  } catch (const std::exception& error) {
    std::cerr << "make_samples: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
