#include "engine/filter.h"

namespace telvora::engine {

namespace {
// The node a filter without a tree answers level questions with.
const TExpToken& NoTree() {
  static const TExpToken none;
  return none;
}
}  // namespace

TFilter::TFilter(TDataCursor& cursor, const TFilterSwitches& switches)
    : cursor_(cursor), switches_(switches), set_(TRecordsBitmapStack::Instance().Take()) {}

TFilter::~TFilter() { TRecordsBitmapStack::Instance().Release(std::move(set_)); }

const TExpToken* TFilter::tree_or_none() const { return tree_ ? tree_.get() : &NoTree(); }

}  // namespace telvora::engine
