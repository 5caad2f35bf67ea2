// One kept-alive connection to a translation server. Every exchange is
// bounded: in time (the server entry's time-out, the whole exchange), in
// size (an answer longer than the limit is cut off and refused), and by the
// request's cancel, which ends a running exchange within a few
// milliseconds. Certificates are checked on every HTTPS exchange.
#pragma once

#include <memory>
#include <string>

#include "engines/http/HttpProtocol.h"
#include "src/engine/server/AsyncRequest.h"

namespace http_engine {

struct HttpReply {
  enum class Outcome { Ok, Cancelled, TimedOut, Refused, Tls, TooLarge, Failed };
  Outcome outcome = Outcome::Failed;
  long status = 0;    // the HTTP status when the server answered
  std::string body;   // complete only with Outcome::Ok
  std::string error;  // what went wrong, for the log
};

struct ClientSettings {
  std::string baseUrl;  // "http://host:port" or "https://...", no trailing "/"
  int timeoutMs = 30000;
  size_t maxAnswerBytes = 8u << 20;
};

class HttpClient {
 public:
  explicit HttpClient(ClientSettings settings);
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // One exchange; GET when the call has no body. Not thread-safe: one
  // exchange at a time per client.
  HttpReply Send(const HttpCall& call, const engine_server::CancelToken& token);

 private:
  struct Impl;
  std::unique_ptr<Impl> mImpl;
};

}  // namespace http_engine
