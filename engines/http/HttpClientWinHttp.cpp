// The client over WinHTTP. The session and connection handles live as long
// as the client, so WinHTTP keeps the connection to the server alive between
// exchanges, and the engine sends one exchange at a time over it. WinHTTP's
// calls block, so each exchange runs on a thread of its own while Send
// watches the request's cancel and the time-out: either ends Send at once.
// The exchange is then told to stop: closing its request handle ends a
// blocked call on Windows, and between reads it stops by itself (Wine's
// WinHTTP ends a blocked call only at its own time-out). The next exchange
// and the client's end wait for it, so no exchange outlives its client.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engines/http/HttpClient.h"
#include "src/platform/Strings.h"

namespace http_engine {

namespace {

struct InternetHandle {
  HINTERNET h = nullptr;
  InternetHandle() = default;
  explicit InternetHandle(HINTERNET handle) : h(handle) {}
  ~InternetHandle() { Reset(); }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  void Reset() {
    if (h) WinHttpCloseHandle(h);
    h = nullptr;
  }
};

HttpReply::Outcome Classify(DWORD error) {
  switch (error) {
    // A socket's own time-out can surface instead of WinHTTP's (Wine does
    // so when the receive timer and the socket's race): it is the same stall.
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT: return HttpReply::Outcome::TimedOut;
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return HttpReply::Outcome::Refused;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: return HttpReply::Outcome::Tls;
    default: return HttpReply::Outcome::Failed;
  }
}

// WinHTTP's own texts live in its module's message table.
std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           /*lpSource=*/GetModuleHandleW(L"winhttp.dll"), error, /*dwLanguageId=*/0,
                           reinterpret_cast<wchar_t*>(&text), /*nSize=*/0, /*Arguments=*/nullptr);
  std::wstring message = n ? std::wstring(text, n) : std::wstring();
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
    message.pop_back();
  }
  std::string code = "WinHTTP error " + std::to_string(error);
  return message.empty() ? code : platform::ToUtf8(message) + " (" + code + ")";
}

// One exchange, shared by Send and the thread that runs it.
struct Exchange {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool stop = false;
  HINTERNET request = nullptr;  // closed by whoever gets to it first

  DWORD failure = 0;
  bool tooLarge = false;
  bool shortAnswer = false;
  long status = 0;
  std::string body;

  bool Stopped() {
    std::lock_guard<std::mutex> lock(mutex);
    return stop;
  }
  void CloseRequest() {
    std::lock_guard<std::mutex> lock(mutex);
    if (request) WinHttpCloseHandle(request);
    request = nullptr;
  }
};

void Run(Exchange* x, const HttpCall& call, const std::wstring& headers, size_t maxAnswerBytes) {
  HINTERNET request = x->request;
  auto step = [&](BOOL ok) {
    if (!ok && !x->failure) x->failure = GetLastError();
    return ok && !x->failure && !x->Stopped();
  };
  bool ok = step(WinHttpSendRequest(request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                    headers.empty() ? 0 : static_cast<DWORD>(-1),
                                    call.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(call.body.data()),
                                    static_cast<DWORD>(call.body.size()), static_cast<DWORD>(call.body.size()), 0));
  ok = ok && step(WinHttpReceiveResponse(request, nullptr));
  DWORD status = 0, size = sizeof(status);
  ok = ok && step(WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX));
  x->status = static_cast<long>(status);
  // A length the server announces is checked before anything is read.
  DWORD announced = 0;
  size = sizeof(announced);
  const bool hasLength = ok && WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                                                   WINHTTP_HEADER_NAME_BY_INDEX, &announced, &size,
                                                   WINHTTP_NO_HEADER_INDEX);
  if (ok && hasLength && announced > maxAnswerBytes) x->tooLarge = true;
  char buffer[16384];
  while (ok && !x->tooLarge) {
    // Only what has come: a read of more waits for all of it, however
    // slowly it drips in.
    DWORD ready = 0, got = 0;
    ok = step(WinHttpQueryDataAvailable(request, &ready));
    if (!ok || ready == 0) break;
    ok = step(WinHttpReadData(request, buffer, std::min<DWORD>(ready, sizeof(buffer)), &got));
    if (!ok || got == 0) break;
    if (x->body.size() + got > maxAnswerBytes) {
      x->tooLarge = true;
      break;
    }
    x->body.append(buffer, got);
  }
  // A connection that closes before the announced length is a broken
  // answer, not a short one.
  if (ok && !x->tooLarge && hasLength && x->body.size() < announced) x->shortAnswer = true;
  x->CloseRequest();
  std::lock_guard<std::mutex> lock(x->mutex);
  x->done = true;
  x->finished.notify_all();
}

}  // namespace

struct HttpClient::Impl {
  ClientSettings settings;
  std::wstring host;
  INTERNET_PORT port = 0;
  bool secure = false;
  std::wstring basePath;
  bool urlOk = false;
  InternetHandle session;
  InternetHandle connection;
  // The thread of the last exchange, which may still be ending.
  std::thread running;

  void WaitForRunning() {
    if (running.joinable()) running.join();
  }
};

HttpClient::HttpClient(ClientSettings settings) : mImpl(std::make_unique<Impl>()) {
  mImpl->settings = std::move(settings);
  std::wstring url = platform::FromUtf8(mImpl->settings.baseUrl);
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  if (WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) && parts.lpszHostName) {
    mImpl->host.assign(parts.lpszHostName, parts.dwHostNameLength);
    if (parts.lpszUrlPath) mImpl->basePath.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    mImpl->port = parts.nPort;
    mImpl->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    mImpl->urlOk = true;
  }
  mImpl->session.h = WinHttpOpen(L"Pelorant", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, /*dwFlags=*/0);
  if (mImpl->session.h && mImpl->urlOk) {
    mImpl->connection.h = WinHttpConnect(mImpl->session.h, mImpl->host.c_str(), mImpl->port, 0);
  }
}

HttpClient::~HttpClient() {
  mImpl->WaitForRunning();
  mImpl->connection.Reset();
  mImpl->session.Reset();
}

HttpReply HttpClient::Send(const HttpCall& call, const engine_server::CancelToken& token) {
  HttpReply reply;
  const ClientSettings& s = mImpl->settings;
  if (!mImpl->urlOk) {
    reply.error = "the address cannot be read";
    return reply;
  }
  if (!mImpl->connection.h) {
    reply.error = ErrorText(GetLastError());
    return reply;
  }
  mImpl->WaitForRunning();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.timeoutMs);
  const std::wstring path = mImpl->basePath + platform::FromUtf8(call.path);
  auto x = std::make_shared<Exchange>();
  x->request = WinHttpOpenRequest(mImpl->connection.h, call.body.empty() ? L"GET" : L"POST", path.c_str(),
                                  /*pwszVersion=*/nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                  mImpl->secure ? WINHTTP_FLAG_SECURE : 0);
  if (!x->request) {
    reply.error = ErrorText(GetLastError());
    return reply;
  }
  // Each step may take the whole time-out; Send bounds their sum.
  WinHttpSetTimeouts(x->request, s.timeoutMs, s.timeoutMs, s.timeoutMs, s.timeoutMs);
  DWORD waitForAnswer = static_cast<DWORD>(s.timeoutMs);
  WinHttpSetOption(x->request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &waitForAnswer, sizeof(waitForAnswer));
  std::wstring headers;
  if (!call.contentType.empty()) headers = L"Content-Type: " + platform::FromUtf8(call.contentType) + L"\r\n";
  mImpl->running = std::thread([x, call, headers, limit = s.maxAnswerBytes] { Run(x.get(), call, headers, limit); });

  enum class Ended { Finished, Cancelled, TimedOut } ended = Ended::Finished;
  {
    std::unique_lock<std::mutex> lock(x->mutex);
    while (!x->done) {
      // Short waits: a cancel is seen within one of them.
      auto next = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
      if (x->finished.wait_until(lock, next, [&] { return x->done; })) break;
      if (token.Cancelled()) ended = Ended::Cancelled;
      else if (std::chrono::steady_clock::now() >= deadline) ended = Ended::TimedOut;
      if (ended != Ended::Finished) {
        x->stop = true;
        break;
      }
    }
  }
  if (ended != Ended::Finished) {
    x->CloseRequest();
    reply.outcome = ended == Ended::Cancelled ? HttpReply::Outcome::Cancelled : HttpReply::Outcome::TimedOut;
    reply.error = ended == Ended::Cancelled ? "cancelled"
                                            : "no complete answer within " + std::to_string(s.timeoutMs) + " ms";
    return reply;
  }
  mImpl->WaitForRunning();
  reply.status = x->status;
  if (x->tooLarge) {
    reply.outcome = HttpReply::Outcome::TooLarge;
    reply.error = "the answer is longer than " + std::to_string(s.maxAnswerBytes) + " bytes";
  } else if (x->failure) {
    reply.outcome = Classify(x->failure);
    reply.error = ErrorText(x->failure);
  } else if (x->shortAnswer) {
    reply.outcome = HttpReply::Outcome::Failed;
    reply.error = "the connection closed before the whole answer came";
  } else {
    reply.outcome = HttpReply::Outcome::Ok;
    reply.body = std::move(x->body);
  }
  return reply;
}

}  // namespace http_engine
