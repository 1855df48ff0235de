// Discovery through the exported GenTL functions, in namespaces the test builds.
#include <gtest/gtest.h>
