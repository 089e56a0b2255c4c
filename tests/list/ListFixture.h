#pragma once
// The list store fixture in an application with fake desktop services (ShellTest): the
// application comes up in SetUp, so a fixture can change its services in its constructor.
#include "listmodel/ListStoreFixture.h"
#include "shell/ShellFixture.h"

namespace ml::list::testing {

class ListStoreTest : public ListStoreFixture<shell::testing::ShellTest> {
 protected:
  void SetUp() override { delegate(); }
};

}  // namespace ml::list::testing
