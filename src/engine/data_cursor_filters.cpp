// TDataCursor: its filters: adding, switching and dropping them, and the
// record set each one gives.

#include <algorithm>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/expression_checker.h"
#include "engine/expression_evaluator.h"
#include "engine/expression_messages.h"
#include "engine/expression_parser.h"
#include "engine/filter_evaluation.h"
#include "engine/filter_index_ranges.h"
#include "storage/engine_error_codes.h"
#include "storage/field_types.h"

namespace telvora::engine {

namespace {

TEvaluationContext RecordContext(const Locale& locale, std::span<const storage::TFieldDescriptor> fields) {
  TEvaluationContext context;
  context.locale = locale;
  context.column_reader = RecordColumnReader(fields);
  return context;
}

}  // namespace

TFilter& TDataCursor::RequireFilter(TFilter* filter) const {
  const auto found = std::find_if(filters_.begin(), filters_.end(),
                                  [&](const std::unique_ptr<TFilter>& f) { return f.get() == filter; });
  if (filter == nullptr || found == filters_.end()) Raise(storage::VORA_NOSUCHFILTER);
  return *filter;
}

bool TDataCursor::AnyFilterActive() const {
  return std::any_of(filters_.begin(), filters_.end(), [](const std::unique_ptr<TFilter>& f) { return f->active_; });
}

void TDataCursor::AnalyseFilter(TFilter& filter) {
  TFilterIndexRanges ranges(*table_, locale_, char_map_, fields_, table_name_);
  filter.plan_ = AnalyseFilterTree(*filter.tree_, ranges, fields_, filter.switches_.cost_estimates);
}

TFilter* TDataCursor::InsertFilter(std::unique_ptr<TFilter> filter) {
  TFilter* added = filter.get();
  if (filter->switches_.goes_last || filter->IsCallback()) {
    filters_.push_back(std::move(filter));
  } else {
    const auto first_last = std::find_if(filters_.begin(), filters_.end(), [](const std::unique_ptr<TFilter>& f) {
      return f->IsCallback() || f->switches_.goes_last;
    });
    filters_.insert(first_last, std::move(filter));
  }
  return added;
}

TFilter* TDataCursor::AddFilter(std::string_view text, const TFilterSwitches& switches) {
  RequireOpen();
  if (filters_.size() >= kMaxFilters) Raise(storage::VORA_INTERNALLIMIT);
  if (text.empty()) RaiseFilterError(table_name_, messages::kFilterIsInvalid);
  TFilter* added = nullptr;
  Access([&] {
    const TExpressionContext context = FilterExpressionContext(table_name_);
    TExpressionParser parser(context);
    TExpTokenPtr tree = parser.ParseExpression(text, kFilterExpressionFlags);
    CheckExpression(tree, FieldColumnLookup(fields_), context);
    if (!tree || tree->type != storage::kTypeBoolean) {
      RaiseFilterError(table_name_, messages::kFilterMustBeBoolean);
    }
    NormaliseFilterTree(tree);
    auto filter = std::make_unique<TFilter>(*this, switches);
    filter->tree_ = PrepareFilterTree(*tree, switches.options, locale_, table_name_);
    AnalyseFilter(*filter);
    added = InsertFilter(std::move(filter));
  });
  return added;
}

TFilter* TDataCursor::AddFilter(TExpTokenPtr prepared_tree, const TFilterSwitches& switches) {
  RequireOpen();
  if (filters_.size() >= kMaxFilters) Raise(storage::VORA_INTERNALLIMIT);
  if (!prepared_tree) RaiseFilterError(table_name_, messages::kFilterIsInvalid);
  auto filter = std::make_unique<TFilter>(*this, switches);
  filter->tree_ = std::move(prepared_tree);
  Access([&] { AnalyseFilter(*filter); });
  return InsertFilter(std::move(filter));
}

TFilter* TDataCursor::AddFilter(TFilterCallback callback, void* dataset, const TFilterSwitches& switches) {
  RequireOpen();
  if (filters_.size() >= kMaxFilters) Raise(storage::VORA_INTERNALLIMIT);
  if (!callback) RaiseFilterError(table_name_, messages::kFilterIsInvalid);
  auto filter = std::make_unique<TFilter>(*this, switches);
  filter->switches_.goes_last = true;
  filter->callback_ = std::move(callback);
  filter->dataset_ = dataset;
  return InsertFilter(std::move(filter));
}

void TDataCursor::EvaluateFilter(TFilter& filter) {
  TRecordsBitmap& set = *filter.set_;
  set.CopyFrom(*live_set_);
  if (range_active_ && !natural_) set.And(*range_set_);
  TFilterIndexRanges ranges(*table_, locale_, char_map_, fields_, table_name_);
  TFilterEvaluator evaluator(*table_, ranges, RecordContext(locale_, fields_), fields_,
                             filter.switches_.complement_ranges);
  if (filter.tree_) {
    evaluator.Evaluate(*filter.tree_, filter.plan_, set);
    return;
  }
  // The callback is asked only about records the filters before it keep.
  for (const auto& other : filters_) {
    if (other.get() == &filter) break;
    if (other->active_ && other->set_->Size() == set.Size()) set.And(*other->set_);
  }
  evaluator.EvaluateRecords(
      [&](std::span<const std::uint8_t> record, std::int32_t n) { return FilterPasses(filter, record, n); }, set);
}

bool TDataCursor::FilterPasses(TFilter& filter, std::span<const std::uint8_t> record, std::int32_t n) {
  if (filter.tree_) {
    TFilterIndexRanges ranges(*table_, locale_, char_map_, fields_, table_name_);
    TFilterEvaluator evaluator(*table_, ranges, RecordContext(locale_, fields_), fields_, false);
    return evaluator.Passes(*filter.tree_, record);
  }
  // The owner gets a copy: the cached record stays untouched whatever it
  // does with the buffer.
  const std::vector<std::uint8_t> copy(record.begin(), record.end());
  return filter.callback_(filter.dataset_, *this, copy, n);
}

void TDataCursor::ChangeFilters(const std::function<void()>& change) {
  Access([&] {
    const bool bof = at_bof_;
    const bool eof = at_eof_;
    std::vector<std::uint8_t> bookmark(BookmarkSize());
    GetBookmark(bookmark);
    change();
    RestoreCrack(bof, eof);
    if (!bof && !eof) GotoBookmarkBody(bookmark);
  });
}

void TDataCursor::ActivateFilter(TFilter* filter) {
  RequireOpen();
  if (filter != nullptr) RequireFilter(filter);
  ChangeFilters([&] {
    std::vector<TFilter*> activated;
    for (const auto& f : filters_) {
      if (filter == nullptr || f.get() == filter) {
        f->active_ = true;
        activated.push_back(f.get());
      }
    }
    if (!set_mode_) {
      // The first active filter in an index order: set mode begins, and
      // every set is built.
      RecomputeSetMode();
      return;
    }
    for (TFilter* f : activated) EvaluateFilter(*f);
    RecomputeVisibleSet();
  });
}

void TDataCursor::DeactivateFilter(TFilter* filter) {
  RequireOpen();
  if (filter != nullptr) RequireFilter(filter);
  ChangeFilters([&] {
    for (const auto& f : filters_) {
      if (filter == nullptr || f.get() == filter) f->active_ = false;
    }
    if (set_mode_ && (natural_ || AnyFilterActive())) {
      RecomputeVisibleSet();
    } else {
      RecomputeSetMode();
    }
  });
}

void TDataCursor::DropFilter(TFilter* filter) {
  RequireOpen();
  if (filter != nullptr) RequireFilter(filter);
  DeactivateFilter(filter);
  std::erase_if(filters_, [&](const std::unique_ptr<TFilter>& f) { return filter == nullptr || f.get() == filter; });
}

void TDataCursor::ReplaceFilterExpression(TFilter* filter, TExpTokenPtr prepared_tree) {
  RequireOpen();
  TFilter& target = RequireFilter(filter);
  if (!target.tree_ || !prepared_tree) RaiseFilterError(table_name_, messages::kFilterIsInvalid);
  target.tree_ = std::move(prepared_tree);
  target.plan_ = {};
  ChangeFilters([&] {
    AnalyseFilter(target);
    if (target.active_ && set_mode_) {
      EvaluateFilter(target);
      RecomputeVisibleSet();
    }
  });
}

}  // namespace telvora::engine
