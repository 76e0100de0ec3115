// The file dialogs' filters.
#include "FileDialogs.h"
#include "TraceFile.h"

#include <gtest/gtest.h>

namespace {

TEST(FileDialogsTest, BarFiltersBecomeQtFilters) {
  EXPECT_EQ(FileDialogs::toQtFilter(FileDialogs::registerFilter()), "Register File (*.rgr);;All files (*)");
  EXPECT_EQ(FileDialogs::toQtFilter(TraceFile::DialogFilter()), "Trace File (*.trc);;All files (*)");
  EXPECT_EQ(FileDialogs::saveRegisters().defaultSuffix, "rgr");
  EXPECT_EQ(FileDialogs::openRegisters().mode, TFileDialogSpec::Mode::Open);
}

}  // namespace
