#include "server/tls_stream.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <unistd.h>

namespace server {

class TlsContext {
 public:
  explicit TlsContext(SSL_CTX* ctx) : ctx_(ctx) {}
  ~TlsContext() { SSL_CTX_free(ctx_); }
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;
  SSL_CTX* get() const { return ctx_; }

 private:
  SSL_CTX* ctx_;
};

namespace {

std::string LastTlsError() {
  unsigned long code = ERR_get_error();
  if (code == 0) return "unknown TLS error";
  char buf[256];
  ERR_error_string_n(code, buf, sizeof buf);
  ERR_clear_error();
  return buf;
}

class TlsStream : public Stream {
 public:
  TlsStream(int fd, std::shared_ptr<TlsContext> context)
      : Stream(fd), context_(std::move(context)), ssl_(SSL_new(context_->get())) {
    if (ssl_ != nullptr) {
      SSL_set_fd(ssl_, fd);
      SSL_set_accept_state(ssl_);
      // Answers are written from buffers that move between attempts.
      SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    }
  }
  ~TlsStream() override {
    if (ssl_ != nullptr) SSL_free(ssl_);
    ::close(fd_);
  }

  Io Handshake() override {
    if (ssl_ == nullptr) return Io::kFailed;
    ERR_clear_error();
    int r = SSL_do_handshake(ssl_);
    return r == 1 ? Io::kDone : Why(r);
  }

  size_t ReadSome(char* buf, size_t size, Io& io) override {
    ERR_clear_error();
    int r = SSL_read(ssl_, buf, static_cast<int>(std::min<size_t>(size, 1 << 30)));
    if (r > 0) {
      io = Io::kDone;
      return static_cast<size_t>(r);
    }
    io = Why(r);
    if (io == Io::kWantWrite) io = Io::kWantRead;  // the loop waits for input either way
    return 0;
  }

  size_t WriteSome(const char* data, size_t size, Io& io) override {
    ERR_clear_error();
    int r = SSL_write(ssl_, data, static_cast<int>(std::min<size_t>(size, 1 << 30)));
    if (r > 0) {
      io = Io::kDone;
      return static_cast<size_t>(r);
    }
    io = Why(r);
    return 0;
  }

  bool HasBuffered() const override { return SSL_pending(ssl_) > 0; }

 private:
  Io Why(int r) {
    switch (SSL_get_error(ssl_, r)) {
      case SSL_ERROR_WANT_READ:
        return Io::kWantRead;
      case SSL_ERROR_WANT_WRITE:
        return Io::kWantWrite;
      case SSL_ERROR_ZERO_RETURN:
        return Io::kClosed;
      case SSL_ERROR_SYSCALL:
        return r == 0 ? Io::kClosed : Io::kFailed;
      default:
        return Io::kFailed;
    }
  }

  std::shared_ptr<TlsContext> context_;
  SSL* ssl_;
};

}  // namespace

base::Result<std::shared_ptr<TlsContext>> MakeTlsContext(const std::string& cert_file,
                                                         const std::string& key_file) {
  auto bad = [](const std::string& text) {
    return base::MakeErr(base::kErrInvalidArgument, text, "Plexavo.Server");
  };
  SSL_CTX* raw = SSL_CTX_new(TLS_server_method());
  if (raw == nullptr) return bad("cannot set up TLS: " + LastTlsError());
  auto context = std::make_shared<TlsContext>(raw);
  SSL_CTX_set_min_proto_version(raw, TLS1_2_VERSION);
  if (SSL_CTX_use_certificate_chain_file(raw, cert_file.c_str()) != 1) {
    return bad("cannot read the TLS certificate " + cert_file + ": " + LastTlsError());
  }
  if (SSL_CTX_use_PrivateKey_file(raw, key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
    return bad("cannot use the TLS key " + key_file + " with the certificate " + cert_file + ": " +
               LastTlsError());
  }
  if (SSL_CTX_check_private_key(raw) != 1) {
    return bad("the TLS key " + key_file + " does not belong to the certificate " + cert_file);
  }
  return context;
}

std::unique_ptr<Stream> MakeTlsStream(int fd, const std::shared_ptr<TlsContext>& context) {
  return std::make_unique<TlsStream>(fd, context);
}

}  // namespace server
