#include "platform/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace telvora::platform {
namespace {

// Records its own destruction and the removals it is told of.
class Probe : public TComponent {
 public:
  Probe(TComponent* owner, std::string name, std::vector<std::string>* log)
      : TComponent(owner), log_(log) {
    SetName(std::move(name));
  }
  ~Probe() override { log_->push_back("destroy " + Name()); }
  TComponent* partner = nullptr;

 protected:
  void Notification(TComponent* c, TOperation op) override {
    if (op == TOperation::opRemove && c == partner) {
      log_->push_back(Name() + " forgets " + c->Name());
      partner = nullptr;
    }
  }

 private:
  std::vector<std::string>* log_;
};

TEST(ComponentTest, OwnerDestroysWhatItOwnsLastAddedFirst) {
  std::vector<std::string> log;
  auto* form = new Probe(nullptr, "Form1", &log);
  auto* table = new Probe(form, "MainTable", &log);
  auto* phone = new Probe(form, "TelPhone1", &log);
  new Probe(phone, "Timer", &log);
  EXPECT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->FindComponent("maintable"), table);
  EXPECT_EQ(phone->Owner(), form);

  delete form;
  EXPECT_EQ(log, (std::vector<std::string>{"destroy Form1", "destroy TelPhone1", "destroy Timer",
                                            "destroy MainTable"}));
}

TEST(ComponentTest, EarlyDestructionLeavesTheOwnerAndTellsTheSiblings) {
  std::vector<std::string> log;
  Probe form(nullptr, "Form1", &log);
  auto* source = new Probe(&form, "DataSource1", &log);
  auto* grid = new Probe(&form, "DBGrid1", &log);
  grid->partner = source;

  delete source;
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(grid->partner, nullptr);
  EXPECT_EQ(form.FindComponent("DataSource1"), nullptr);
  // The derived part goes first, as in any C++ destructor chain; the
  // siblings hear of it before the object's memory is released.
  EXPECT_EQ(log, (std::vector<std::string>{"destroy DataSource1", "DBGrid1 forgets DataSource1"}));
}

TEST(ComponentTest, EventsAreRaisedOnlyWhenAssigned) {
  TEvent<int(int)> on_square;
  EXPECT_FALSE(on_square.Assigned());
  EXPECT_EQ(on_square(7), 0);  // unassigned: nothing runs, default result

  int calls = 0;
  on_square = [&](int x) { ++calls; return x * x; };
  EXPECT_EQ(on_square(7), 49);
  on_square = nullptr;
  EXPECT_EQ(on_square(3), 0);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace telvora::platform
