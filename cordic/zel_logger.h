// The model's message channel: composes "<name> ERROR: <text>" (WARNING,
// NOTE likewise) and hands it to the host's callback, if there is one.
#pragma once

#include "solvine.h"

#include <sstream>
#include <string>

class ZelLogger {
 public:
  // handler may be null (messages are then dropped); handle is passed back
  // untouched; a null name is taken as empty text.
  ZelLogger(zelip_msg_handler handler, void *handle, const char *name);
  virtual ~ZelLogger();

  ZelLogger(const ZelLogger &) = delete;
  ZelLogger &operator=(const ZelLogger &) = delete;

  // Stream forms forward the stream's accumulated text to the text forms.
  // Text forms compose the message, deliver it (error flag 1 for errors, 0
  // for warnings and notes) and return the composed message.
  virtual std::string error(const std::ostringstream &msg);
  virtual std::string error(const std::string &msg);
  virtual std::string warning(const std::ostringstream &msg);
  virtual std::string warning(const std::string &msg);
  virtual std::string note(const std::ostringstream &msg);
  virtual std::string note(const std::string &msg);

  const std::string &name() const { return name_; }

 private:
  std::string deliver(int is_error, const char *kind, const std::string &msg);

  zelip_msg_handler handler_;
  void *handle_;
  std::string name_;
};
