// Raised at the next step of a long action that the user cancelled. The
// action stops there and leaves what it holds consistent; the message loop
// shows nothing for it, since the user asked for it.
#pragma once

#include "diag/tandrelerror.h"

namespace diag {

class ActionCancelled : public TandrelError {
 public:
  ActionCancelled() : TandrelError("Cancelled") {}
};

}  // namespace diag
