#include "tests/support/TestDatabase.h"

#include <windows.h>

#include <sql.h>
#include <sqlext.h>

#include <cwchar>

#include "history/HistoryRecord.h"
#include "tests/support/TestFiles.h"

namespace testdb {
namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[4096];
  const DWORD length = GetEnvironmentVariableW(name, value, 4096);
  return length > 0 && length < 4096 ? std::wstring(value, length) : std::wstring();
}

// The cluster's script, a program of the machine the tests run on: Wine starts it as it
// starts a Windows program.
bool RunScript(const wchar_t* action) {
  const std::wstring script = Environment(L"KN_TEST_DATABASE_SCRIPT");
  const std::wstring dir = Environment(L"KN_TEST_DATABASE_DIR");
  if (script.empty() || dir.empty()) return false;
  std::wstring commandLine = L"bash \"" + script + L"\" " + action + L" \"" + dir + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(L"Z:\\bin\\bash", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// A connection of the test's own, outside the code under test.
class Connection {
 public:
  explicit Connection(const std::wstring& connectionString) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
    SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
    SQLSetConnectAttrW(m_dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(5), 0);
    m_connected = SQL_SUCCEEDED(SQLDriverConnectW(m_dbc, nullptr,
                                                  reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(connectionString.c_str())),
                                                  SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    if (!m_connected) m_failure = Diagnostics(SQL_HANDLE_DBC, m_dbc);
  }
  ~Connection() {
    if (m_connected) SQLDisconnect(m_dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, m_env);
  }

  // Autocommitted; rows as text.
  bool Query(const std::wstring& sql, std::vector<std::vector<std::wstring>>* rows) {
    if (!m_connected) return false;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &stmt);
    const SQLRETURN rc = SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(sql.c_str())), SQL_NTS);
    const bool ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    if (!ok) m_failure = Diagnostics(SQL_HANDLE_STMT, stmt);
    SQLSMALLINT columns = 0;
    if (ok && rows != nullptr) SQLNumResultCols(stmt, &columns);
    while (ok && rows != nullptr && columns > 0 && SQL_SUCCEEDED(SQLFetch(stmt))) {
      std::vector<std::wstring> row;
      for (SQLUSMALLINT c = 1; c <= columns; ++c) {
        wchar_t text[4096] = {};
        SQLLEN length = 0;
        SQLGetData(stmt, c, SQL_C_WCHAR, text, sizeof text, &length);
        row.push_back(length == SQL_NULL_DATA ? L"<null>" : text);
      }
      rows->push_back(row);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok;
  }
  bool connected() const { return m_connected; }
  const std::wstring& failure() const { return m_failure; }

 private:
  static std::wstring Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    SQLWCHAR state[6] = {}, message[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRecW(type, handle, 1, state, &native, message, 1024, &length);
    return reinterpret_cast<wchar_t*>(message);
  }

  SQLHENV m_env = SQL_NULL_HENV;
  SQLHDBC m_dbc = SQL_NULL_HDBC;
  bool m_connected = false;
  std::wstring m_failure;
};

// Wine gives no handle that waits for a program of the machine to end: the cluster is asked
// until it is in the state the script was run for.
bool AwaitCluster(bool running) {
  for (int attempt = 0; attempt < 600; ++attempt) {
    if (Connection(ClusterConnectionString()).connected() == running) return true;
    Sleep(100);
  }
  return false;
}

}  // namespace

std::wstring ClusterConnectionString() {
  const std::wstring file = Environment(L"KN_TEST_DATABASE_CONNECTION_FILE");
  if (file.empty()) return std::wstring();
  std::string text = testing_support::ReadFileBytes(file);
  text = text.substr(0, text.find_first_of("\r\n"));
  return FromUtf8(text);
}

bool StopCluster() { return RunScript(L"stop") && AwaitCluster(false); }

bool StartCluster() { return RunScript(L"start") && AwaitCluster(true); }

TestSchema::TestSchema() {
  // A name no other test of any run takes: the process, the time and a count.
  wchar_t name[64];
  std::swprintf(name, 64, L"kn_test_%lu_%llu", GetCurrentProcessId(), static_cast<unsigned long long>(GetTickCount64()));
  static int counter = 0;
  const std::wstring candidate = std::wstring(name) + L"_" + std::to_wstring(++counter);
  Connection connection(ClusterConnectionString());
  if (connection.Query(L"CREATE SCHEMA " + candidate, nullptr)) m_name = candidate;
  else m_failure = connection.failure();
}

TestSchema::~TestSchema() {
  if (!m_name.empty()) Connection(ClusterConnectionString()).Query(L"DROP SCHEMA " + m_name + L" CASCADE", nullptr);
}

std::wstring TestSchema::ConnectionString() const {
  return ClusterConnectionString() + L"ConnSettings={SET search_path TO " + m_name + L"};";
}

std::wstring TestSchema::ConnectionStringWithPassword(const std::wstring& password) const {
  std::wstring text = ConnectionString();
  const std::size_t at = text.find(L"Pwd=");
  const std::size_t end = text.find(L';', at);
  return text.substr(0, at + 4) + password + text.substr(end);
}

std::vector<std::vector<std::wstring>> TestSchema::Rows(const std::wstring& sql) {
  std::vector<std::vector<std::wstring>> rows;
  Connection connection(ConnectionString());
  if (!connection.Query(sql, &rows)) m_failure = connection.failure();
  return rows;
}

bool TestSchema::Run(const std::wstring& sql) {
  Connection connection(ConnectionString());
  const bool ok = connection.Query(sql, nullptr);
  if (!ok) m_failure = connection.failure();
  return ok;
}

}  // namespace testdb
