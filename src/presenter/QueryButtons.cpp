#include "presenter/QueryButtons.h"

#include "protocol/Frames.h"

namespace kvpresenter {

namespace {

using Q = QueryStep;
using P = PendingRequest;
using T = TimeoutKind;

constexpr std::array<QueryButton, 4> kQueryButtons{{
    {"Button32",
     kvproto::kReadParametersFrame,
     P::ReadParameters,
     T::ParameterQuery,
     {Q::SetPending, Q::ShowFrame, Q::ClearReceive, Q::Write, Q::ArmTimeout},
     5},
    {"Button14",
     kvproto::kCommunicationTestFrame,
     P::ReplyExpected,
     T::Connection,
     {Q::SetPending, Q::ClearReceive, Q::ShowFrame, Q::Write, Q::ArmTimeout},
     5},
    {"Button124",
     kvproto::kDataQueryFrame,
     P::DataQuery,
     T::Silent,
     {Q::SetPending, Q::ShowFrame, Q::ClearReceive, Q::Write, {}},
     4},
    {"Button19",
     kvproto::kParameterResetFrame,
     P::ParameterReset,
     T::Silent,
     {Q::ClearReceive, Q::SetPending, Q::ShowFrame, Q::Write, {}},
     4},
}};

}  // namespace

std::span<const QueryButton> queryButtons() {
    return kQueryButtons;
}

}  // namespace kvpresenter
