// A save refused because the file changed on disk since the host read it.
#pragma once

#include "storage/designfileerror.h"

namespace dbxhost {

class FileChangedError : public DesignFileError {
 public:
  using DesignFileError::DesignFileError;
};

}  // namespace dbxhost
