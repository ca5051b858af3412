#include "zel_logger.h"

ZelLogger::ZelLogger(zelip_msg_handler handler, void *handle, const char *name)
    : handler_(handler), handle_(handle), name_(name != nullptr ? name : "") {}

ZelLogger::~ZelLogger() = default;

std::string ZelLogger::error(const std::ostringstream &msg) { return error(msg.str()); }
std::string ZelLogger::error(const std::string &msg) { return deliver(1, " ERROR: ", msg); }
std::string ZelLogger::warning(const std::ostringstream &msg) { return warning(msg.str()); }
std::string ZelLogger::warning(const std::string &msg) { return deliver(0, " WARNING: ", msg); }
std::string ZelLogger::note(const std::ostringstream &msg) { return note(msg.str()); }
std::string ZelLogger::note(const std::string &msg) { return deliver(0, " NOTE: ", msg); }

std::string ZelLogger::deliver(int is_error, const char *kind, const std::string &msg) {
  std::string message = name_ + kind + msg;
  if (handler_ != nullptr) handler_(handle_, is_error, message.c_str());
  return message;
}
