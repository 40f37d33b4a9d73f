// One connection to the department's database through Windows' ODBC driver manager, with its
// own environment: a sender on any thread opens its own and closes it when done. Failures are
// kept as the driver's diagnostic text, which tells a technician what to mend (a wrong
// password, a missing driver, a server that cannot be reached).
#pragma once

#include <windows.h>

#include <sql.h>
#include <sqlext.h>

#include <string>

class OdbcConnection {
 public:
  OdbcConnection() = default;
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Connects without ever prompting, giving up on a login after a few seconds and on a
  // request after a few more: a database that is away must not hold the records' sender for
  // long. Every statement after it runs in a transaction of its own until Commit.
  bool Connect(const std::wstring& connectionString);
  bool Connected() const { return m_connected; }
  SQLHDBC Handle() const { return m_dbc; }

  // The DBMS's name as the driver gives it ("PostgreSQL", "Microsoft SQL Server").
  std::wstring DbmsName() const;

  bool Commit();
  void Rollback();

  // Why the last call failed: the diagnostic records of the connection.
  const std::wstring& Failure() const { return m_failure; }
  void SetFailure(const std::wstring& failure) { m_failure = failure; }

 private:
  SQLHENV m_env = SQL_NULL_HENV;
  SQLHDBC m_dbc = SQL_NULL_HDBC;
  bool m_connected = false;
  std::wstring m_failure;
};

// The diagnostic records of a handle as one text: "message [SQLSTATE]", several joined by
// "; ". sqlState gets the first record's state (empty when there is none).
std::wstring OdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, std::wstring* sqlState = nullptr);

// Login and request time-outs, in seconds.
constexpr SQLULEN kOdbcLoginTimeoutSeconds = 5;
constexpr SQLULEN kOdbcRequestTimeoutSeconds = 15;
