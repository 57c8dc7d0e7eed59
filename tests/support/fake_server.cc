// tests/support/fake_server.cc
#include "tests/support/fake_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace tavrel::test_support {
namespace {

constexpr std::size_t kMaxHeaderBytes = 1 << 20;
constexpr std::size_t kReadChunk = 256 * 1024;
// How long a normally closed connection waits for the client to close its
// side before the socket is dropped.
constexpr int kLingerAfterCloseMs = 2000;

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "FakeServer: %s: %s\n", what, std::strerror(errno));
  std::abort();
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Splits "Name: value" at its first colon; false when there is none.
bool SplitHeader(std::string_view line, std::string_view& name, std::string_view& value) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  name = Trim(line.substr(0, colon));
  value = Trim(line.substr(colon + 1));
  return true;
}

struct SslCtxFree {
  void operator()(SSL_CTX* p) const { SSL_CTX_free(p); }
};
struct SslFree {
  void operator()(SSL* p) const { SSL_free(p); }
};
struct PkeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct X509Free {
  void operator()(X509* p) const { X509_free(p); }
};
struct BioFree {
  void operator()(BIO* p) const { BIO_free(p); }
};

void AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) Die("X509V3_EXT_conf_nid");
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

// A TLS context with a fresh P-256 key and a self-signed certificate.
std::unique_ptr<SSL_CTX, SslCtxFree> MakeTlsContext(std::string& cert_pem) {
  std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_EC_gen("P-256"));
  if (!key) Die("EVP_EC_gen");
  std::unique_ptr<X509, X509Free> cert(X509_new());
  X509_set_version(cert.get(), 2);
  unsigned char serial_bytes[8];
  RAND_bytes(serial_bytes, sizeof serial_bytes);
  long serial = 1;
  for (unsigned char b : serial_bytes) serial = (serial << 7) ^ b;
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial < 0 ? -serial : serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 2L * 24 * 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  AddExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) Die("X509_sign");

  std::unique_ptr<SSL_CTX, SslCtxFree> ctx(SSL_CTX_new(TLS_server_method()));
  if (!ctx) Die("SSL_CTX_new");
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
  if (SSL_CTX_use_certificate(ctx.get(), cert.get()) != 1 ||
      SSL_CTX_use_PrivateKey(ctx.get(), key.get()) != 1) {
    Die("SSL_CTX_use_certificate");
  }
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(bio.get(), cert.get());
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  cert_pem.assign(data, static_cast<std::size_t>(size));
  return ctx;
}

}  // namespace

std::optional<std::string> Request::Header(std::string_view name) const {
  for (const std::string& line : header_lines) {
    std::string_view line_name, value;
    if (SplitHeader(line, line_name, value) && EqualsIgnoreCase(line_name, name)) {
      return std::string(value);
    }
  }
  return std::nullopt;
}

std::size_t Request::HeaderCount(std::string_view name) const {
  std::size_t count = 0;
  for (const std::string& line : header_lines) {
    std::string_view line_name, value;
    if (SplitHeader(line, line_name, value) && EqualsIgnoreCase(line_name, name)) ++count;
  }
  return count;
}

std::vector<std::string> Request::HeaderNames() const {
  std::vector<std::string> names;
  for (const std::string& line : header_lines) {
    std::string_view line_name, value;
    names.emplace_back(SplitHeader(line, line_name, value) ? line_name : std::string_view(line));
  }
  return names;
}

Reply Reply::Http(int status, std::string_view reason, const std::vector<std::string>& header_lines,
                  std::string_view body) {
  Reply reply;
  reply.bytes = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
  bool has_length = false;
  for (const std::string& line : header_lines) {
    std::string_view name, value;
    if (SplitHeader(line, name, value) && EqualsIgnoreCase(name, "Content-Length")) {
      has_length = true;
    }
    reply.bytes += line;
    reply.bytes += "\r\n";
  }
  if (!has_length) reply.bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  reply.bytes += "\r\n";
  reply.bytes += body;
  return reply;
}

Reply Reply::Ok(std::string_view body, std::string_view content_type) {
  return Http(200, "OK", {"Content-Type: " + std::string(content_type)}, body);
}

Reply Reply::Redirect(int status, std::string_view location) {
  const char* reason = status == 301 ? "Moved Permanently" : status == 303 ? "See Other"
                       : status == 307 ? "Temporary Redirect" : status == 308 ? "Permanent Redirect"
                                                                              : "Found";
  return Http(status, reason, {"Location: " + std::string(location)});
}

Reply Reply::NoAnswer() { return Stall({}); }

Reply Reply::Stall(std::string_view bytes) {
  Reply reply;
  reply.bytes = bytes;
  reply.after = After::kHold;
  return reply;
}

Reply Reply::Reset(std::string_view bytes) {
  Reply reply;
  reply.bytes = bytes;
  reply.after = After::kReset;
  return reply;
}

Reply Reply::Raw(std::string_view bytes) {
  Reply reply;
  reply.bytes = bytes;
  return reply;
}

struct FakeServer::State {
  FakeServerOptions options;
  int listen_fd = -1;
  int stop_fd = -1;  // an eventfd, readable once the server stops
  std::uint16_t port = 0;
  std::unique_ptr<SSL_CTX, SslCtxFree> tls;
  std::string cert_pem;

  mutable std::mutex mu;
  mutable std::condition_variable cv;
  std::vector<Request> requests;
  std::deque<Reply> queue;
  Reply default_reply = Reply::Http(404, "Not Found");
  Handler handler;
  std::size_t connections = 0;
  std::vector<std::thread> workers;

  std::mutex handler_mu;  // one handler call at a time
  std::thread acceptor;

  void Accept();
  void Serve(int fd, std::size_t index);
  void Record(Request request);
  Reply NextReply(const Request& request);
};

namespace {

// One accepted connection, plain or TLS, on a non-blocking socket. Every wait
// also watches the stop descriptor, so a stopping server never blocks here.
class Connection {
 public:
  Connection(int fd, int stop_fd) : fd_(fd), stop_fd_(stop_fd) {}
  ~Connection() {
    if (fd_ >= 0) ::close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool StartTls(SSL_CTX* ctx) {
    ssl_.reset(SSL_new(ctx));
    if (!ssl_) return false;
    SSL_set_fd(ssl_.get(), fd_);
    for (;;) {
      const int rc = SSL_accept(ssl_.get());
      if (rc == 1) return true;
      if (!WaitSsl(SSL_get_error(ssl_.get(), rc), -1)) {
        ssl_.reset();  // no close_notify on a failed handshake
        return false;
      }
    }
  }

  // Bytes read (> 0), 0 at the end of the stream, -1 on an error, a stop or
  // when `timeout_ms` (-1: none) passed.
  long Read(char* buffer, std::size_t size, int timeout_ms = -1) {
    for (;;) {
      if (ssl_) {
        const int rc = SSL_read(ssl_.get(), buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
        if (rc > 0) return rc;
        const int err = SSL_get_error(ssl_.get(), rc);
        if (err == SSL_ERROR_ZERO_RETURN) return 0;
        if (err == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) return 0;  // closed without notify
        if (!WaitSsl(err, timeout_ms)) return -1;
      } else {
        const ssize_t rc = ::recv(fd_, buffer, size, 0);
        if (rc >= 0) return static_cast<long>(rc);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (Wait(POLLIN, timeout_ms) <= 0) return -1;
      }
    }
  }

  bool WriteAll(std::string_view data) {
    while (!data.empty()) {
      const std::size_t chunk = std::min<std::size_t>(data.size(), 1 << 20);
      if (ssl_) {
        const int rc = SSL_write(ssl_.get(), data.data(), static_cast<int>(chunk));
        if (rc > 0) {
          data.remove_prefix(static_cast<std::size_t>(rc));
          continue;
        }
        if (!WaitSsl(SSL_get_error(ssl_.get(), rc), -1)) return false;
      } else {
        const ssize_t rc = ::send(fd_, data.data(), chunk, MSG_NOSIGNAL);
        if (rc >= 0) {
          data.remove_prefix(static_cast<std::size_t>(rc));
          continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
        if (Wait(POLLOUT, -1) <= 0) return false;
      }
    }
    return true;
  }

  // Waits up to `ms` unless the server stops first; false on a stop.
  bool Sleep(int ms) {
    pollfd stop{stop_fd_, POLLIN, 0};
    return ::poll(&stop, 1, ms) == 0;
  }

  // Ends the stream normally, then waits (bounded) for the client to close.
  void Close() {
    if (ssl_) SSL_shutdown(ssl_.get());
    ::shutdown(fd_, SHUT_WR);
    DiscardUntilEof(kLingerAfterCloseMs);
  }

  // Keeps the connection until the client closes it or the server stops.
  void Hold() { DiscardUntilEof(-1); }

  void Reset() {
    linger lin{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &lin, sizeof lin);
    ssl_.reset();
    ::close(fd_);
    fd_ = -1;
  }

 private:
  // 1 ready, 0 time-out, -1 stop or error.
  int Wait(short events, int timeout_ms) {
    pollfd fds[2] = {{fd_, events, 0}, {stop_fd_, POLLIN, 0}};
    for (;;) {
      const int rc = ::poll(fds, 2, timeout_ms);
      if (rc < 0 && errno == EINTR) continue;
      if (rc < 0 || fds[1].revents != 0) return -1;
      return rc == 0 ? 0 : 1;
    }
  }

  bool WaitSsl(int err, int timeout_ms) {
    if (err == SSL_ERROR_WANT_READ) return Wait(POLLIN, timeout_ms) > 0;
    if (err == SSL_ERROR_WANT_WRITE) return Wait(POLLOUT, timeout_ms) > 0;
    return false;
  }

  void DiscardUntilEof(int timeout_ms) {
    char buffer[16 * 1024];
    while (Read(buffer, sizeof buffer, timeout_ms) > 0) {
    }
  }

  int fd_;
  int stop_fd_;
  std::unique_ptr<SSL, SslFree> ssl_;
};

// Splits the header section (without its final empty line) into the request
// line and the header lines; returns the Content-Length or 0.
std::uint64_t ParseHead(std::string_view head, Request& request) {
  std::uint64_t content_length = 0;
  bool first = true;
  while (!head.empty()) {
    const std::size_t end = head.find("\r\n");
    const std::string_view line = head.substr(0, end);
    head.remove_prefix(end == std::string_view::npos ? head.size() : end + 2);
    if (first) {
      first = false;
      request.request_line = line;
      const std::size_t sp1 = line.find(' ');
      const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
      request.method = line.substr(0, sp1);
      if (sp1 != std::string_view::npos) {
        request.target = line.substr(sp1 + 1, sp2 == std::string_view::npos ? sp2 : sp2 - sp1 - 1);
      }
      if (sp2 != std::string_view::npos) request.version = line.substr(sp2 + 1);
      continue;
    }
    request.header_lines.emplace_back(line);
    std::string_view name, value;
    if (SplitHeader(line, name, value) && EqualsIgnoreCase(name, "Content-Length")) {
      content_length = std::strtoull(std::string(value).c_str(), nullptr, 10);
    }
  }
  return content_length;
}

}  // namespace

void FakeServer::State::Record(Request request) {
  {
    std::lock_guard lock(mu);
    requests.push_back(std::move(request));
  }
  cv.notify_all();
}

Reply FakeServer::State::NextReply(const Request& request) {
  std::lock_guard handler_lock(handler_mu);
  Handler current;
  {
    std::lock_guard lock(mu);
    if (!handler) {
      if (queue.empty()) return default_reply;
      Reply reply = std::move(queue.front());
      queue.pop_front();
      return reply;
    }
    current = handler;
  }
  return current(request);
}

void FakeServer::State::Serve(int fd, std::size_t index) {
  Connection conn(fd, stop_fd);
  if (tls && !conn.StartTls(tls.get())) return;

  Request request;
  request.connection = index;
  std::string buffer;
  std::vector<char> chunk(kReadChunk);
  std::size_t head_end = std::string::npos;
  while (head_end == std::string::npos) {
    const long n = conn.Read(chunk.data(), chunk.size());
    if (n <= 0) {
      if (!buffer.empty()) {
        request.raw = buffer;
        ParseHead(buffer, request);
        Record(std::move(request));
      }
      return;
    }
    const std::size_t search_from = buffer.size() < 3 ? 0 : buffer.size() - 3;
    buffer.append(chunk.data(), static_cast<std::size_t>(n));
    head_end = buffer.find("\r\n\r\n", search_from);
    if (head_end == std::string::npos && buffer.size() > kMaxHeaderBytes) return;
  }
  const std::string_view head(buffer.data(), head_end);
  const std::uint64_t content_length = ParseHead(head, request);
  std::string_view early_body(buffer);
  early_body.remove_prefix(head_end + 4);
  if (early_body.size() > content_length) early_body = early_body.substr(0, content_length);
  request.raw.assign(buffer.data(), head_end + 4);
  request.body_size = early_body.size();
  if (!options.drain_bodies) {
    request.body.reserve(content_length);
    request.body.append(early_body);
  }
  bool complete = true;
  while (request.body_size < content_length) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), content_length - request.body_size));
    const long n = conn.Read(chunk.data(), want);
    if (n <= 0) {
      complete = false;
      break;
    }
    request.body_size += static_cast<std::uint64_t>(n);
    if (!options.drain_bodies) request.body.append(chunk.data(), static_cast<std::size_t>(n));
  }
  request.complete = complete;
  if (!options.drain_bodies) request.raw += request.body;
  if (!complete) {
    Record(std::move(request));
    return;
  }
  Reply reply = NextReply(request);
  Record(std::move(request));

  if (reply.delay.count() > 0 && !conn.Sleep(static_cast<int>(reply.delay.count()))) return;
  if (reply.pace_bytes == 0) {
    if (!conn.WriteAll(reply.bytes)) return;
  } else {
    for (std::size_t at = 0; at < reply.bytes.size(); at += reply.pace_bytes) {
      if (at > 0 && !conn.Sleep(static_cast<int>(reply.pace.count()))) return;
      if (!conn.WriteAll(std::string_view(reply.bytes).substr(at, reply.pace_bytes))) return;
    }
  }
  switch (reply.after) {
    case Reply::After::kClose:
      conn.Close();
      break;
    case Reply::After::kHold:
      conn.Hold();
      break;
    case Reply::After::kReset:
      conn.Reset();
      break;
  }
}

void FakeServer::State::Accept() {
  for (;;) {
    pollfd fds[2] = {{listen_fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
    const int rc = ::poll(fds, 2, -1);
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0 || fds[1].revents != 0) return;
    const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mu);
    const std::size_t index = connections++;
    workers.emplace_back([this, fd, index] { Serve(fd, index); });
  }
}

FakeServer::FakeServer() : FakeServer(FakeServerOptions{}) {}

FakeServer::FakeServer(FakeServerOptions options) : state_(std::make_unique<State>()) {
  // TLS writes go through write(2); a client that went away must not kill
  // the test program.
  std::signal(SIGPIPE, SIG_IGN);
  State& s = *state_;
  s.options = options;
  if (options.https) s.tls = MakeTlsContext(s.cert_pem);
  s.stop_fd = ::eventfd(0, EFD_CLOEXEC);
  if (s.stop_fd < 0) Die("eventfd");
  s.listen_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s.listen_fd < 0) Die("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(s.listen_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) Die("bind");
  if (::listen(s.listen_fd, 64) != 0) Die("listen");
  socklen_t len = sizeof addr;
  ::getsockname(s.listen_fd, reinterpret_cast<sockaddr*>(&addr), &len);
  s.port = ntohs(addr.sin_port);
  s.acceptor = std::thread([&s] { s.Accept(); });
}

FakeServer::~FakeServer() {
  State& s = *state_;
  const std::uint64_t one = 1;
  if (::write(s.stop_fd, &one, sizeof one) < 0) {
    std::perror("FakeServer: eventfd write");
  }
  s.acceptor.join();
  ::close(s.listen_fd);
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(s.mu);
    workers.swap(s.workers);
  }
  for (std::thread& worker : workers) worker.join();
  ::close(s.stop_fd);
}

std::uint16_t FakeServer::port() const { return state_->port; }

bool FakeServer::https() const { return state_->options.https; }

std::string FakeServer::Url(std::string_view path) const {
  std::string url = https() ? "https://" : "http://";
  url += HostPort();
  url += path;
  return url;
}

std::string FakeServer::HostPort() const { return "127.0.0.1:" + std::to_string(port()); }

std::string FakeServer::CertificatePem() const { return state_->cert_pem; }

void FakeServer::SetHandler(Handler handler) {
  std::lock_guard lock(state_->mu);
  state_->handler = std::move(handler);
}

void FakeServer::Push(Reply reply) {
  std::lock_guard lock(state_->mu);
  state_->queue.push_back(std::move(reply));
}

void FakeServer::SetDefaultReply(Reply reply) {
  std::lock_guard lock(state_->mu);
  state_->default_reply = std::move(reply);
}

std::vector<Request> FakeServer::Requests() const {
  std::lock_guard lock(state_->mu);
  return state_->requests;
}

bool FakeServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mu);
  return state_->cv.wait_for(lock, timeout, [&] { return state_->requests.size() >= count; });
}

std::size_t FakeServer::ConnectionCount() const {
  std::lock_guard lock(state_->mu);
  return state_->connections;
}

void FakeServer::ClearRequests() {
  std::lock_guard lock(state_->mu);
  state_->requests.clear();
}

}  // namespace tavrel::test_support
