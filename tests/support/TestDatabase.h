// The tests' PostgreSQL cluster (cmake/KnTestDatabase.cmake), reached as the updater reaches a
// department's database: over ODBC with a connection string. Each test works in a schema of
// its own, so tests on one cluster never see each other's table.
#pragma once

#include <string>
#include <vector>

namespace testdb {

// The cluster's connection string; empty when the test runs without the fixture.
std::wstring ClusterConnectionString();

// Stops the cluster (as a server that crashed or was switched off goes away) and starts it
// again on the same port, through the fixture's script; true once it is gone or answers again.
bool StopCluster();
bool StartCluster();

// A schema made for the test and dropped at its end; its connection string makes it the one
// the updater's statements land in.
class TestSchema {
 public:
  TestSchema();
  ~TestSchema();
  TestSchema(const TestSchema&) = delete;
  TestSchema& operator=(const TestSchema&) = delete;

  bool Ready() const { return !m_name.empty(); }
  const std::wstring& Name() const { return m_name; }
  std::wstring ConnectionString() const;
  // The same with another password.
  std::wstring ConnectionStringWithPassword(const std::wstring& password) const;

  // Every row a query gives, each column as text (a null as "<null>"); empty on a failure,
  // which failure() then tells.
  std::vector<std::vector<std::wstring>> Rows(const std::wstring& sql);
  // A statement without rows; false on a failure.
  bool Run(const std::wstring& sql);
  const std::wstring& failure() const { return m_failure; }

 private:
  std::wstring m_name;
  std::wstring m_failure;
};

}  // namespace testdb
