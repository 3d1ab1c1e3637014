#include "tests/raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {

RawClient::RawClient(int port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

RawClient::~RawClient() {
  if (fd_ >= 0) ::close(fd_);
}

bool RawClient::Send(const std::string& bytes) {
  return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(bytes.size());
}

RawAnswer RawClient::ReadAnswer() {
  size_t head_end, length = 0;
  while ((head_end = buffer_.find("\r\n\r\n")) == std::string::npos) {
    if (!Fill()) return {};
  }
  RawAnswer answer{0, buffer_.substr(0, head_end), ""};
  const size_t at = answer.head.find("\r\nContent-Length: ");
  if (at != std::string::npos) length = std::stoul(answer.head.substr(at + 18));
  while (buffer_.size() < head_end + 4 + length) {
    if (!Fill()) return {};
  }
  answer.body = buffer_.substr(head_end + 4, length);
  buffer_.erase(0, head_end + 4 + length);
  if (answer.head.rfind("HTTP/1.1 ", 0) == 0) answer.status = std::stoi(answer.head.substr(9, 3));
  return answer;
}

bool RawClient::Fill() {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, 10000) <= 0) return false;
  char chunk[4096];
  ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
  if (n <= 0) return false;
  buffer_.append(chunk, static_cast<size_t>(n));
  return true;
}

std::string CallHead(const std::string& extra, size_t length) {
  return "POST /v1/call HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n" + extra +
         "Content-Length: " + std::to_string(length) + "\r\n\r\n";
}

std::string ChunkedBody(const std::string& answer) {
  std::string body;
  size_t pos = answer.find("\r\n\r\n") + 4;
  while (pos < answer.size()) {
    const size_t eol = answer.find("\r\n", pos);
    const size_t size = std::stoul(answer.substr(pos, eol - pos), nullptr, 16);
    body += answer.substr(eol + 2, size);
    pos = eol + 2 + size + 2;
  }
  return body;
}

}  // namespace testing_support
