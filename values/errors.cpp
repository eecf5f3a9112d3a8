#include "values/errors.h"

#include <cerrno>
#include <cstring>

#include "values/text.h"

namespace tarvelo {

std::string SystemReason(int error) {
  if (error == EWOULDBLOCK || error == EAGAIN) return kFileInUse;
  // The English text whatever the process's locale.
  const char* text = strerrordesc_np(error);
  if (text == nullptr) return "Error " + std::to_string(error);
  return Utf8ToCp1252(text);
}

}  // namespace tarvelo
