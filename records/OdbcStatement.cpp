#include "records/OdbcStatement.h"

#include <vector>

namespace {

// Longer texts go as long text: a variable-length column of a fixed size stops somewhere.
constexpr SQLULEN kLongestVariableText = 4000;

}  // namespace

OdbcStatement::OdbcStatement(OdbcConnection& connection) : m_connection(connection) {
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection.Handle(), &m_stmt))) {
    m_stmt = SQL_NULL_HSTMT;
    m_failure = OdbcDiagnostics(SQL_HANDLE_DBC, connection.Handle(), &m_state);
    return;
  }
  SQLSetStmtAttrW(m_stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(kOdbcRequestTimeoutSeconds), 0);
}

OdbcStatement::~OdbcStatement() {
  if (m_stmt != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
}

bool OdbcStatement::Failed() {
  if (m_stmt != SQL_NULL_HSTMT) m_failure = OdbcDiagnostics(SQL_HANDLE_STMT, m_stmt, &m_state);
  m_connection.SetFailure(m_failure);
  return false;
}

bool OdbcStatement::Prepare(const std::wstring& sql) {
  if (m_stmt == SQL_NULL_HSTMT) return Failed();
  SQLFreeStmt(m_stmt, SQL_CLOSE);
  SQLFreeStmt(m_stmt, SQL_RESET_PARAMS);
  m_values.clear();
  m_indicators.clear();
  m_nextParameter = 1;
  const SQLRETURN rc =
      SQLPrepareW(m_stmt, reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(sql.c_str())), SQL_NTS);
  return SQL_SUCCEEDED(rc) || Failed();
}

bool OdbcStatement::BindText(const std::wstring& value, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits) {
  m_values.push_back(value);
  std::wstring& bound = m_values.back();
  m_indicators.push_back(static_cast<SQLLEN>(bound.size() * sizeof(wchar_t)));
  if (sqlType == SQL_WVARCHAR) {
    size = bound.empty() ? 1 : bound.size();
    if (size > kLongestVariableText) sqlType = SQL_WLONGVARCHAR;
  }
  const SQLRETURN rc = SQLBindParameter(m_stmt, m_nextParameter++, SQL_PARAM_INPUT, SQL_C_WCHAR, sqlType, size, digits,
                                        const_cast<wchar_t*>(bound.c_str()),
                                        static_cast<SQLLEN>((bound.size() + 1) * sizeof(wchar_t)),
                                        &m_indicators.back());
  return SQL_SUCCEEDED(rc) || Failed();
}

bool OdbcStatement::BindNull(SQLSMALLINT sqlType) {
  m_values.emplace_back();
  m_indicators.push_back(SQL_NULL_DATA);
  const SQLRETURN rc = SQLBindParameter(m_stmt, m_nextParameter++, SQL_PARAM_INPUT, SQL_C_WCHAR, sqlType, 1, 0,
                                        const_cast<wchar_t*>(m_values.back().c_str()), 0, &m_indicators.back());
  return SQL_SUCCEEDED(rc) || Failed();
}

bool OdbcStatement::Execute() {
  if (m_stmt == SQL_NULL_HSTMT) return Failed();
  const SQLRETURN rc = SQLExecute(m_stmt);
  // A statement that touched no row reports SQL_NO_DATA: it ran all the same.
  return SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA || Failed();
}

bool OdbcStatement::Run(const std::wstring& sql) { return Prepare(sql) && Execute(); }

bool OdbcStatement::Fetch() {
  const SQLRETURN rc = SQLFetch(m_stmt);
  if (rc == SQL_NO_DATA) return false;
  return SQL_SUCCEEDED(rc) || Failed();
}

std::wstring OdbcStatement::Text(SQLUSMALLINT column) {
  std::wstring text;
  std::vector<wchar_t> chunk(1024);
  for (;;) {
    SQLLEN length = 0;
    const SQLRETURN rc = SQLGetData(m_stmt, column, SQL_C_WCHAR, chunk.data(),
                                    static_cast<SQLLEN>(chunk.size() * sizeof(wchar_t)), &length);
    if (!SQL_SUCCEEDED(rc) || length == SQL_NULL_DATA) break;
    text += chunk.data();
    if (rc == SQL_SUCCESS) break;  // SQL_SUCCESS_WITH_INFO: more of it follows
  }
  return text;
}
