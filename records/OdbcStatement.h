// One prepared statement on an open connection, its parameters always bound (never pasted into
// the SQL text) and passed as UTF-16 text, which the driver converts to each column's type.
#pragma once

#include <windows.h>

#include <sql.h>
#include <sqlext.h>

#include <deque>
#include <string>

#include "records/OdbcConnection.h"

class OdbcStatement {
 public:
  explicit OdbcStatement(OdbcConnection& connection);
  ~OdbcStatement();
  OdbcStatement(const OdbcStatement&) = delete;
  OdbcStatement& operator=(const OdbcStatement&) = delete;

  bool Prepare(const std::wstring& sql);
  // The next parameter, in the order of the statement's markers. sqlType: the column's ODBC
  // type (SQL_WVARCHAR, SQL_BIGINT, SQL_DECIMAL, SQL_TYPE_TIMESTAMP ...); for decimals and
  // times, size and digits as the column has them.
  bool BindText(const std::wstring& value, SQLSMALLINT sqlType = SQL_WVARCHAR, SQLULEN size = 0, SQLSMALLINT digits = 0);
  bool BindNull(SQLSMALLINT sqlType);
  bool Execute();
  // Prepare and run a statement without parameters.
  bool Run(const std::wstring& sql);
  // The next row; false at the end or on a failure.
  bool Fetch();
  // Column (from 1) of the current row as text; empty for a null.
  std::wstring Text(SQLUSMALLINT column);

  // The state of the last failure ("23505" ...), and its diagnostic text.
  const std::wstring& FailureState() const { return m_state; }
  const std::wstring& Failure() const { return m_failure; }

 private:
  bool Failed();

  OdbcConnection& m_connection;
  SQLHSTMT m_stmt = SQL_NULL_HSTMT;
  // Bound buffers stay where they are until the statement is done: a deque never moves them.
  std::deque<std::wstring> m_values;
  std::deque<SQLLEN> m_indicators;
  SQLUSMALLINT m_nextParameter = 1;
  std::wstring m_state;
  std::wstring m_failure;
};
