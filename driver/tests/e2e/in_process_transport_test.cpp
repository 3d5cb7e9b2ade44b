#include "driver/tests/e2e/transport_fixture.h"

namespace kqa::driver::testing {

INSTANTIATE_TEST_SUITE_P(InProcess, DriverTransportTest, ::testing::Values(InProcessTransport()),
                         TransportName);
INSTANTIATE_TEST_SUITE_P(InProcess, KestrelTransportTest, ::testing::Values(InProcessTransport()),
                         TransportName);

}  // namespace kqa::driver::testing
