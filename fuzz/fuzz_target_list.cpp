#include "fuzz_target_list.h"
#include "fuzz_targets.h"

namespace telvora::fuzz {

const std::vector<FuzzTarget>& FuzzTargets() {
  static const std::vector<FuzzTarget> targets = {
      {"table_files", FuzzTableFiles},   {"index_page", FuzzIndexPage},
      {"blob_chain", FuzzBlobChain},     {"expression", FuzzExpression},
      {"hayes_result", FuzzHayesResult}, {"contact_vcard", FuzzContactVcard},
      {"contact_csv", FuzzContactCsv},
  };
  return targets;
}

}  // namespace telvora::fuzz
