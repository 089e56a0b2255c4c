#pragma once
// The list store fixture in an application with fake desktop services (ShellTest): the
// application and the store over its services come up in SetUp, so a fixture can change its
// services in its constructor.
#include "listmodel/ListStoreFixture.h"
#include "shell/ShellFixture.h"

namespace ml::list::testing {

class ListStoreTest : public ListStoreFixture<shell::testing::ShellTest> {
 protected:
  void SetUp() override {
    const auto& given = delegate().services();
    load(ListServices{given.usageEvents, given.workspace, given.openPanels});
  }
};

}  // namespace ml::list::testing
