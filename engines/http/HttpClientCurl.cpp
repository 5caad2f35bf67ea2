// The client over libcurl: one easy handle per client keeps its connection
// alive between exchanges; a multi handle drives it so that the exchange can
// be watched for cancel between short polls instead of blocking in curl.
#include <curl/curl.h>

#include <mutex>

#include "engines/http/HttpClient.h"

namespace http_engine {

namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
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
  ClientSettings settings;
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
};

HttpClient::HttpClient(ClientSettings settings) : mImpl(std::make_unique<Impl>()) {
  GlobalInit();
  mImpl->settings = std::move(settings);
  mImpl->easy = curl_easy_init();
  mImpl->multi = curl_multi_init();
}

HttpClient::~HttpClient() {
  if (mImpl->easy) curl_easy_cleanup(mImpl->easy);
  if (mImpl->multi) curl_multi_cleanup(mImpl->multi);
}

HttpReply HttpClient::Send(const HttpCall& call, const engine_server::CancelToken& token) {
  HttpReply reply;
  CURL* easy = mImpl->easy;
  if (!easy || !mImpl->multi) {
    reply.error = "the HTTP library could not be started";
    return reply;
  }
  const ClientSettings& s = mImpl->settings;
  Sink sink{&reply.body, s.maxAnswerBytes};
  char errorText[CURL_ERROR_SIZE] = {};
  std::string url = s.baseUrl + call.path;
  curl_slist* headers = nullptr;
  if (!call.contentType.empty()) headers = curl_slist_append(headers, ("Content-Type: " + call.contentType).c_str());
  headers = curl_slist_append(headers, "Expect:");

  curl_easy_reset(easy);  // keeps the connection, drops the last exchange's options
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(s.timeoutMs));
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(s.timeoutMs));
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(s.maxAnswerBytes));
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Write);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  if (!call.body.empty()) {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(call.body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, call.body.data());
  }

  curl_multi_add_handle(mImpl->multi, easy);
  bool cancelled = false;
  int running = 1;
  CURLcode result = CURLE_OK;
  while (running) {
    if (token.Cancelled()) {
      cancelled = true;
      break;
    }
    if (curl_multi_perform(mImpl->multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    // Short polls: a cancel is seen within one of them.
    if (running) curl_multi_poll(mImpl->multi, nullptr, 0, 20, nullptr);
  }
  int left = 0;
  while (CURLMsg* m = curl_multi_info_read(mImpl->multi, &left)) {
    if (m->msg == CURLMSG_DONE) result = m->data.result;
  }
  curl_multi_remove_handle(mImpl->multi, easy);
  curl_slist_free_all(headers);
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &reply.status);

  if (cancelled) {
    reply.outcome = HttpReply::Outcome::Cancelled;
    reply.error = "cancelled";
  } else if (sink.overflow || result == CURLE_FILESIZE_EXCEEDED) {
    reply.outcome = HttpReply::Outcome::TooLarge;
    reply.error = "the answer is longer than " + std::to_string(s.maxAnswerBytes) + " bytes";
  } else if (result != CURLE_OK) {
    reply.outcome = Classify(result);
    reply.error = errorText[0] ? errorText : curl_easy_strerror(result);
  } else {
    reply.outcome = HttpReply::Outcome::Ok;
    return reply;
  }
  reply.body.clear();
  return reply;
}

}  // namespace http_engine
