#include "records/OdbcConnection.h"

#include <vector>

namespace {

SQLWCHAR* Sql(const std::wstring& text) { return reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(text.c_str())); }

// Driver messages often end in a line feed, and name no state of their own.
std::wstring WithoutTrailingBlanks(std::wstring text) {
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  return text;
}

}  // namespace

std::wstring OdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, std::wstring* sqlState) {
  std::wstring text;
  if (sqlState != nullptr) sqlState->clear();
  for (SQLSMALLINT record = 1; record <= 8; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::vector<SQLWCHAR> message(1024);
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRecW(handleType, handle, record, state, &native, message.data(),
                                        static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    const std::wstring stateText(reinterpret_cast<const wchar_t*>(state));
    if (record == 1 && sqlState != nullptr) *sqlState = stateText;
    const std::wstring messageText = WithoutTrailingBlanks(reinterpret_cast<const wchar_t*>(message.data()));
    text += (text.empty() ? L"" : L"; ") + messageText + L" [" + stateText + L"]";
  }
  return text.empty() ? L"The ODBC driver gave no reason." : text;
}

OdbcConnection::~OdbcConnection() {
  if (m_connected) {
    SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_ROLLBACK);
    SQLDisconnect(m_dbc);
  }
  if (m_dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
  if (m_env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, m_env);
}

bool OdbcConnection::Connect(const std::wstring& connectionString) {
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env)) ||
      !SQL_SUCCEEDED(SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
      !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc))) {
    m_failure = L"The ODBC driver manager cannot be used.";
    return false;
  }
  SQLSetConnectAttrW(m_dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(kOdbcLoginTimeoutSeconds), 0);
  SQLSetConnectAttrW(m_dbc, SQL_ATTR_CONNECTION_TIMEOUT, reinterpret_cast<SQLPOINTER>(kOdbcRequestTimeoutSeconds), 0);
  const SQLRETURN rc = SQLDriverConnectW(m_dbc, nullptr, Sql(connectionString), SQL_NTS, nullptr, 0, nullptr,
                                        SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    m_failure = OdbcDiagnostics(SQL_HANDLE_DBC, m_dbc);
    return false;
  }
  m_connected = true;
  if (!SQL_SUCCEEDED(SQLSetConnectAttrW(m_dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                                        SQL_IS_UINTEGER))) {
    m_failure = OdbcDiagnostics(SQL_HANDLE_DBC, m_dbc);
    return false;
  }
  return true;
}

std::wstring OdbcConnection::DbmsName() const {
  SQLWCHAR name[128] = {};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfoW(m_dbc, SQL_DBMS_NAME, name, sizeof name, &length))) return std::wstring();
  return reinterpret_cast<const wchar_t*>(name);
}

bool OdbcConnection::Commit() {
  if (SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_COMMIT))) return true;
  m_failure = OdbcDiagnostics(SQL_HANDLE_DBC, m_dbc);
  return false;
}

void OdbcConnection::Rollback() { SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_ROLLBACK); }
