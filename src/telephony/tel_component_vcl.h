#pragma once
// TTEL_ComponentVCL: the library's non-visual component base. It adds
// nothing to TTEL_Ancestor; it exists so that the library's components share
// one base, as their users expect. Threads: GUI thread only.

#include "telephony/tel_ancestor.h"

namespace telvora::telephony {

class TTEL_ComponentVCL : public TTEL_Ancestor {
 public:
  using TTEL_Ancestor::TTEL_Ancestor;
};

}  // namespace telvora::telephony
