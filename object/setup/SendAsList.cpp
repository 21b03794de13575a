#include "object/setup/SendAsList.h"

std::vector<SendAsList::Row> SendAsList::Build(const FileSelection& chosen) {
  std::vector<Row> rows;
  for (size_t i = 0; i < chosen.names.size(); ++i) {
    Row row;
    row.sender = chosen.PathOf(i);
    const std::string& name = chosen.names[i];
    const size_t slash = name.find_last_of('\\');
    row.receiver = chosen.names.size() > 1 || slash == std::string::npos ? name : name.substr(slash + 1);
    rows.push_back(row);
  }
  return rows;
}

std::string SendAsList::Result(const std::vector<Row>& rows) {
  std::string list;
  for (const Row& row : rows) {
    if (row.receiver.empty()) return std::string();
    if (!list.empty()) list += ';';
    list += row.sender + ";" + row.receiver;
  }
  return list;
}
