// One client connection over a real loopback socket: what the client sends, in pieces, becomes
// requests in order or closes the connection with a reason; answers go back in order.
#include <gtest/gtest.h>

#include <utility>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <string>
#include <vector>

#include "gateway/client_connection.h"
#include "test_names.h"

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using Bytes = std::vector<std::uint8_t>;

class Recorder final : public gateway::ConnectionEvents {
  public:
    std::vector<std::uint16_t> transactions;
    std::string closed;

    void Requested(gateway::ClientId, modbus::WireFrame request) override {
        transactions.push_back(request.transaction);
    }
    void Closed(gateway::ClientId, const std::string&, const std::string& reason) override {
        closed = reason;
    }
};

Bytes ReadD100(std::uint16_t transaction) {
    return {static_cast<std::uint8_t>(transaction >> 8), static_cast<std::uint8_t>(transaction),
            0, 0, 0, 6, 1, 3, 0x10, 0x64, 0, 1};
}

// What the client sends, piece by piece, and what the connection makes of it.
struct StreamCase {
    const char* name;
    std::vector<Bytes> pieces;
    bool client_closes;
    std::vector<std::uint16_t> transactions;
    const char* closed;  // a part of the reason; "" when it stays open
};
ZENTRIQ_PRINT_ROW_AS_NAME(StreamCase)

Bytes Joined(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const StreamCase kStreamCases[] = {
    {"PipelinedRequestsKeepTheirOrder", {Joined(ReadD100(7), ReadD100(8)), ReadD100(9)}, false,
     {7, 8, 9}, ""},
    {"ARequestInPieces", {{0, 5, 0, 0}, {0, 6, 1, 3}, {0x10, 0x64, 0, 1}}, false, {5}, ""},
    {"AnotherProtocolClosesIt", {{0, 1, 0, 1, 0, 6, 1, 3, 0x10, 0x64, 0, 1}}, false, {},
     "protocol 0001"},
    {"ALengthPastAnyFrameClosesIt", {{0, 1, 0, 0, 0x01, 0x2C, 1, 3}}, false, {},
     "a length of 300"},
    {"ALengthWithoutAFunctionClosesIt", {{0, 1, 0, 0, 0, 1, 1}}, false, {}, "a length of 1"},
    {"ASoundRequestBeforeGarbageIsStillRead", {Joined(ReadD100(3), {'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P'})},
     false, {3}, "in the header"},
    {"HalfARequestThenSilenceIsClosedWhenIdle", {{0, 1, 0, 0, 0, 6, 1}}, false, {}, "idle for"},
    {"TheClientClosing", {ReadD100(1)}, true, {1}, "the client closed the connection"},
};

// Runs `io` until `done` holds or five seconds pass: what a quiet machine does in milliseconds, a
// busy one may take far longer to get to.
template <class Done>
void RunUntil(asio::io_context& io, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        io.run_for(std::chrono::milliseconds(10));
    }
}

class ClientConnectionTest : public testing::TestWithParam<StreamCase> {};

TEST_P(ClientConnectionTest, ReadsRequestsOrClosesWithAReason) {
    const auto& row = GetParam();
    asio::io_context io;
    tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    tcp::socket client(io);
    client.connect(acceptor.local_endpoint());
    Recorder events;
    auto connection = std::make_shared<gateway::ClientConnection>(
        acceptor.accept(), 1, "test", events, std::chrono::milliseconds(300));
    connection->Start();
    for (const auto& piece : row.pieces) {
        asio::write(client, asio::buffer(piece));
        io.run_for(std::chrono::milliseconds(20));
    }
    if (row.client_closes) {
        client.close();
    }
    if (row.closed[0] != '\0') {
        RunUntil(io, [&] { return !events.closed.empty(); });
    } else {
        RunUntil(io, [&] { return events.transactions.size() >= row.transactions.size(); });
        io.run_for(std::chrono::milliseconds(100));  // and nothing closes it
    }
    EXPECT_EQ(events.transactions, row.transactions);
    EXPECT_NE(events.closed.find(row.closed), std::string::npos) << events.closed;
    EXPECT_EQ(events.closed.empty(), row.closed[0] == '\0') << events.closed;
}

INSTANTIATE_TEST_SUITE_P(Table, ClientConnectionTest, testing::ValuesIn(kStreamCases),
                         RowName<StreamCase>);

// Answers go back in the order given, and a connection asked to close does so once every request
// read is answered.
TEST(ClientConnection, AnswersInOrderThenClosesWhenAnswered) {
    asio::io_context io;
    tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    tcp::socket client(io);
    client.connect(acceptor.local_endpoint());
    Recorder events;
    auto connection = std::make_shared<gateway::ClientConnection>(
        acceptor.accept(), 1, "test", events, std::chrono::seconds(0));
    connection->Start();
    asio::write(client, asio::buffer(Joined(ReadD100(1), ReadD100(2))));
    RunUntil(io, [&] { return events.transactions.size() >= 2; });
    ASSERT_EQ(events.transactions.size(), 2U);
    connection->CloseWhenAnswered("stopping");
    io.run_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(events.closed.empty());
    connection->Answer({0xA1});
    connection->Answer({0xB2, 0xC3});
    RunUntil(io, [&] { return !events.closed.empty(); });
    EXPECT_EQ(events.closed, "stopping");
    Bytes got(3);
    asio::read(client, asio::buffer(got));
    EXPECT_EQ(got, (Bytes{0xA1, 0xB2, 0xC3}));
}

}  // namespace
