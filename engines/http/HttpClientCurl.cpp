// The client over libcurl: one easy handle per client keeps its connection
// alive between exchanges; a multi handle drives it so that the exchange can
// be watched for cancel between short polls instead of blocking in curl.
//
// libcurl is loaded when the first client is made, not linked: it brings two
// dozen libraries (TLS, Kerberos, LDAP ...) that every start of the program
// would otherwise map and relocate, though most runs never reach a server.
#include <curl/curl.h>
#include <dlfcn.h>

#include <mutex>

#include "engines/http/HttpClient.h"

namespace http_engine {

namespace {

// The calls this client makes, looked up in the loaded library under the
// names and types of its header.
struct Curl {
  decltype(&::curl_global_init) global_init = nullptr;
  decltype(&::curl_easy_init) easy_init = nullptr;
  decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
  decltype(&::curl_easy_reset) easy_reset = nullptr;
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...) = nullptr;
  decltype(&::curl_easy_strerror) easy_strerror = nullptr;
  decltype(&::curl_slist_append) slist_append = nullptr;
  decltype(&::curl_slist_free_all) slist_free_all = nullptr;
  decltype(&::curl_multi_init) multi_init = nullptr;
  decltype(&::curl_multi_cleanup) multi_cleanup = nullptr;
  decltype(&::curl_multi_add_handle) multi_add_handle = nullptr;
  decltype(&::curl_multi_remove_handle) multi_remove_handle = nullptr;
  decltype(&::curl_multi_perform) multi_perform = nullptr;
  decltype(&::curl_multi_poll) multi_poll = nullptr;
  decltype(&::curl_multi_info_read) multi_info_read = nullptr;
  std::string error;  // why the library cannot be used; empty when it can
};

// The name libcurl has been loaded by since its interface last changed.
constexpr const char* kLibrary = "libcurl.so.4";

template <typename F>
bool Bind(void* library, const char* name, F* out) {
  *out = reinterpret_cast<F>(dlsym(library, name));
  return *out != nullptr;
}

// Loaded and started once, on the first client; the library stays loaded
// for the life of the process, as a linked one would.
const Curl& Library() {
  static Curl curl;
  static std::once_flag once;
  std::call_once(once, [] {
    void* lib = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      const char* why = dlerror();
      curl.error = "the HTTP library " + std::string(kLibrary) + " could not be loaded" +
                   (why ? std::string(": ") + why : std::string());
      return;
    }
    const bool bound =
        Bind(lib, "curl_global_init", &curl.global_init) && Bind(lib, "curl_easy_init", &curl.easy_init) &&
        Bind(lib, "curl_easy_cleanup", &curl.easy_cleanup) && Bind(lib, "curl_easy_reset", &curl.easy_reset) &&
        Bind(lib, "curl_easy_setopt", &curl.easy_setopt) && Bind(lib, "curl_easy_getinfo", &curl.easy_getinfo) &&
        Bind(lib, "curl_easy_strerror", &curl.easy_strerror) && Bind(lib, "curl_slist_append", &curl.slist_append) &&
        Bind(lib, "curl_slist_free_all", &curl.slist_free_all) && Bind(lib, "curl_multi_init", &curl.multi_init) &&
        Bind(lib, "curl_multi_cleanup", &curl.multi_cleanup) &&
        Bind(lib, "curl_multi_add_handle", &curl.multi_add_handle) &&
        Bind(lib, "curl_multi_remove_handle", &curl.multi_remove_handle) &&
        Bind(lib, "curl_multi_perform", &curl.multi_perform) && Bind(lib, "curl_multi_poll", &curl.multi_poll) &&
        Bind(lib, "curl_multi_info_read", &curl.multi_info_read);
    if (!bound) {
      const char* why = dlerror();
      curl.error = "the HTTP library " + std::string(kLibrary) + " cannot be used" +
                   (why ? std::string(": ") + why : std::string());
      return;
    }
    if (curl.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) curl.error = "the HTTP library could not be started";
  });
  return curl;
}

struct Sink {
  std::string* body;
  size_t limit;
  bool overflow = false;
};

size_t Write(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const size_t n = size * count;
  if (sink->body->size() + n > sink->limit) {
    sink->overflow = true;
    return 0;  // curl ends the exchange with a write error
  }
  sink->body->append(data, n);
  return n;
}

HttpReply::Outcome Classify(CURLcode code) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT: return HttpReply::Outcome::TimedOut;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST: return HttpReply::Outcome::Refused;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_USE_SSL_FAILED: return HttpReply::Outcome::Tls;
    default: return HttpReply::Outcome::Failed;
  }
}

}  // namespace

struct HttpClient::Impl {
  const Curl& curl = Library();
  ClientSettings settings;
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
};

HttpClient::HttpClient(ClientSettings settings) : mImpl(std::make_unique<Impl>()) {
  mImpl->settings = std::move(settings);
  if (!mImpl->curl.error.empty()) return;
  mImpl->easy = mImpl->curl.easy_init();
  mImpl->multi = mImpl->curl.multi_init();
}

HttpClient::~HttpClient() {
  if (mImpl->easy) mImpl->curl.easy_cleanup(mImpl->easy);
  if (mImpl->multi) mImpl->curl.multi_cleanup(mImpl->multi);
}

HttpReply HttpClient::Send(const HttpCall& call, const engine_server::CancelToken& token) {
  HttpReply reply;
  const Curl& curl = mImpl->curl;
  CURL* easy = mImpl->easy;
  if (!easy || !mImpl->multi) {
    reply.error = curl.error.empty() ? "the HTTP library could not be started" : curl.error;
    return reply;
  }
  const ClientSettings& s = mImpl->settings;
  Sink sink{&reply.body, s.maxAnswerBytes};
  char errorText[CURL_ERROR_SIZE] = {};
  std::string url = s.baseUrl + call.path;
  curl_slist* headers = nullptr;
  if (!call.contentType.empty()) headers = curl.slist_append(headers, ("Content-Type: " + call.contentType).c_str());
  headers = curl.slist_append(headers, "Expect:");

  curl.easy_reset(easy);  // keeps the connection, drops the last exchange's options
  curl.easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl.easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl.easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl.easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(s.timeoutMs));
  curl.easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(s.timeoutMs));
  curl.easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl.easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  curl.easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(s.maxAnswerBytes));
  curl.easy_setopt(easy, CURLOPT_WRITEFUNCTION, Write);
  curl.easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
  curl.easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
  curl.easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl.easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  if (!call.body.empty()) {
    curl.easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(call.body.size()));
    curl.easy_setopt(easy, CURLOPT_POSTFIELDS, call.body.data());
  }

  curl.multi_add_handle(mImpl->multi, easy);
  bool cancelled = false;
  int running = 1;
  CURLcode result = CURLE_OK;
  while (running) {
    if (token.Cancelled()) {
      cancelled = true;
      break;
    }
    if (curl.multi_perform(mImpl->multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    // Short polls: a cancel is seen within one of them.
    if (running) curl.multi_poll(mImpl->multi, nullptr, 0, 20, nullptr);
  }
  int left = 0;
  while (CURLMsg* m = curl.multi_info_read(mImpl->multi, &left)) {
    if (m->msg == CURLMSG_DONE) result = m->data.result;
  }
  curl.multi_remove_handle(mImpl->multi, easy);
  curl.slist_free_all(headers);
  curl.easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &reply.status);

  if (cancelled) {
    reply.outcome = HttpReply::Outcome::Cancelled;
    reply.error = "cancelled";
  } else if (sink.overflow || result == CURLE_FILESIZE_EXCEEDED) {
    reply.outcome = HttpReply::Outcome::TooLarge;
    reply.error = "the answer is longer than " + std::to_string(s.maxAnswerBytes) + " bytes";
  } else if (result != CURLE_OK) {
    reply.outcome = Classify(result);
    reply.error = errorText[0] ? errorText : curl.easy_strerror(result);
  } else {
    reply.outcome = HttpReply::Outcome::Ok;
    return reply;
  }
  reply.body.clear();
  return reply;
}

}  // namespace http_engine
