// The discovery worker end to end on loopback: SSDP answers from an in-test responder,
// descriptions from an in-test HTTP server, records in the process-wide device table.
#include "SsdpResponder.h"
#include "devicetable.h"
#include "polling.h"
#include "protocol.h"
#include "worker.h"

#include <gtest/gtest.h>

using namespace qvd;
using qvtest::answer;
using qvtest::Datagram;
using qvtest::LoopbackServer;
using qvtest::SsdpResponder;

namespace {

constexpr char NasType[] = "urn:schemas-upnp-org:device:QvNAS:1";

qvtest::Script device(const std::string& type, const std::string& name,
                      const std::string& maker = "Halvren Storage Corporation")
{
    const std::string body = "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device>"
                             "<deviceType>" +
                             type + "</deviceType><friendlyName>" + name + "</friendlyName><manufacturer>" + maker +
                             "</manufacturer></device></root>\r\n";
    return {{{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body}}};
}

class DiscoveryWorker : public qvtest::NetTest
{
protected:
    void SetUp() override
    {
        NetTest::SetUp();
        // Long enough that a responder held up by a busy machine is not taken for silence.
        timing().turnWaitMs.store(400);
        timing().readWaitMs.store(300);
        timing().connectWaitMs.store(500);
        deviceList().done.store(-1);
        resetDeviceList(deviceList());
    }

    // Runs the worker's entry routine on this thread, as the worker thread would, against script.
    static void runWorker(const std::vector<Datagram>& script)
    {
        SsdpResponder responder(script);
        ASSERT_TRUE(responder.ready());
        runDiscoveryWorker();
        EXPECT_EQ(deviceList().done.load(), 1);
    }

    static int count() { return deviceList().count.load(); }
    static const DeviceRecord& record(int i) { return deviceList().records[i]; }
};

} // namespace

// A refused, path-less, missing or silent description leaves no trace, and the search goes on
// behind it; of the descriptions that arrive, only accepted types are published.
TEST_F(DiscoveryWorker, PublishesOnlyFetchedDevicesOfAcceptedTypes)
{
    // The silent fetch waits longer than a listening turn; the answers behind it wait in the socket.
    timing().readWaitMs.store(600);
    // The fetch uses the whole location; the host is taken from the location cut to its field.
    const std::string path = "/" + std::string(200, 'p') + ".xml";
    LoopbackServer server(
        {{"/igd.xml", device("urn:schemas-upnp-org:device:InternetGatewayDevice:1", "Internet Router")},
         {path, device(NasType, "Vault")},
         {"/silent.xml", {{}, qvtest::Ending::WaitForClientClose}},
         {"/good.xml", device(NasType, "After silence")}},
        64);
    runWorker({answer(server.url("/igd.xml"), "uuid:igd"), answer(server.url(path), "uuid:vault"),
               answer("http://127.0.0.1:1/d.xml", "uuid:refused"), answer(server.url(""), "uuid:no-path"),
               answer(server.url("/missing.xml"), "uuid:not-found"), answer(server.url("/silent.xml"), "uuid:silent"),
               answer(server.url("/good.xml"), "uuid:good")});
    EXPECT_EQ(server.requests(), 5) << "a location without a path is never requested";
    ASSERT_EQ(count(), 2);
    EXPECT_STREQ(record(0).deviceType, "QvNAS");
    EXPECT_EQ(std::string(record(0).hostPort), "127.0.0.1:" + std::to_string(server.port()));
    // The gateway was parsed into the slot first; nothing of it is left over.
    EXPECT_EQ(std::string(record(0).friendlyName, DeviceFieldSize), "Vault" + std::string(DeviceFieldSize - 5, '\0'));
    EXPECT_STREQ(record(1).friendlyName, "After silence");
}

TEST_F(DiscoveryWorker, TwoUsnsForOneLocationGiveTwoRecordsAndThe51stRecordIsNeverFetched)
{
    std::map<std::string, qvtest::Script> routes{{"/twin.xml", device(NasType, "Twin")}};
    for (int i = 2; i <= MaxDevices; ++i) {
        routes["/d" + std::to_string(i) + ".xml"] = device(NasType, "Box " + std::to_string(i));
    }
    LoopbackServer server(routes, 64);
    std::vector<Datagram> script = {answer(server.url("/twin.xml"), "uuid:twin::upnp:rootdevice"),
                                    answer(server.url("/twin.xml"), "uuid:twin::" + std::string(NasType))};
    for (int i = 2; i <= MaxDevices; ++i) {
        script.push_back(answer(server.url("/d" + std::to_string(i) + ".xml"), "uuid:box-" + std::to_string(i)));
    }
    runWorker(script);
    EXPECT_EQ(count(), MaxDevices);
    EXPECT_EQ(server.requests("/twin.xml"), 2);
    EXPECT_EQ(server.requests(), MaxDevices);
    EXPECT_EQ(server.requests("/d50.xml"), 0);
    EXPECT_STREQ(record(MaxDevices - 1).friendlyName, "Box 49");
}

namespace {

class RowSink : public SearchSink
{
public:
    void clearList(int) override {}
    void appendDeviceRow(const char* name, const char* ip) override { rows.push_back(std::string(name) + " | " + ip); }
    void setControlEnabled(int, bool) override {}
    void setControlVisible(int, bool) override {}
    void animationStop() override {}
    void animationPlay() override {}
    void showNoDeviceBox() override { rows.push_back("no device box"); }

    std::vector<std::string> rows;
};

} // namespace

// The worker on a thread of its own, read by the polling routine while it writes.
TEST_F(DiscoveryWorker, ThePollingRoutineListsTheMakersDevicesFoundOnTheNetwork)
{
    timing().pollIntervalMs.store(5);
    LoopbackServer server({{"/nas.xml", device(NasType, "Vault")},
                           {"/tv.xml", device("urn:schemas-upnp-org:device:MediaServer:1", "Television", "Acme")}},
                          64);
    SsdpResponder responder({answer(server.url("/tv.xml"), "uuid:tv"), answer(server.url("/nas.xml"), "uuid:nas")});
    ASSERT_TRUE(responder.ready());
    deviceList().done.store(1); // a finished earlier search: the routine resets and starts a worker
    RowSink sink;
    RowToRecord rowToRecord;
    EXPECT_EQ(searchAndListDevices(sink, rowToRecord), 0);
    EXPECT_EQ(sink.rows, std::vector<std::string>{"Vault | 127.0.0.1"});
    EXPECT_EQ(rowToRecord[0].load(), 1);
    EXPECT_EQ(deviceList().count.load(), 2);
}

// Answers that point where a fetch never gets a body each cost a wait; after the limit the
// search fetches no more of them and ends as usual. A device that answered before the limit
// is listed; one that answers after it is not fetched.
TEST_F(DiscoveryWorker, AFloodOfDeadLocationsCostsAtMostTheFailedFetchLimit)
{
    constexpr int Limit = 4;
    timing().failedFetchLimit.store(Limit);
    timing().readWaitMs.store(100);
    std::map<std::string, qvtest::Script> routes{{"/good.xml", device(NasType, "Good")},
                                                 {"/after.xml", device(NasType, "After")}};
    routes["/silent.xml"] = {{}, qvtest::Ending::WaitForClientClose};
    LoopbackServer server(routes, 64);
    std::vector<Datagram> script{answer(server.url("/good.xml"), "uuid:good")};
    for (int i = 0; i < 3 * Limit; ++i) {
        script.push_back(answer(server.url("/silent.xml"), "uuid:dead-" + std::to_string(i)));
    }
    script.push_back(answer(server.url("/after.xml"), "uuid:after"));
    const auto start = std::chrono::steady_clock::now();
    runWorker(script);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(Limit * 100 + 400 + 1000));
    EXPECT_EQ(server.requests("/silent.xml"), Limit);
    EXPECT_EQ(server.requests("/after.xml"), 0);
    ASSERT_EQ(count(), 1);
    EXPECT_STREQ(record(0).friendlyName, "Good");
}

// A description that drips in holds the search only for the fetch's deadline.
TEST_F(DiscoveryWorker, ADrippingDescriptionEndsAtTheFetchDeadline)
{
    timing().fetchDeadlineMs.store(500);
    qvtest::Script drip{{{"HTTP/1.1 200 OK\r\n\r\n<root><device>"}}};
    for (int i = 0; i < 100; ++i) {
        drip.pieces.push_back({" ", 100});
    }
    LoopbackServer server({{"/drip.xml", drip}, {"/good.xml", device(NasType, "Good")}}, 64);
    const auto start = std::chrono::steady_clock::now();
    runWorker({answer(server.url("/drip.xml"), "uuid:drip"), answer(server.url("/good.xml"), "uuid:good", 10)});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500 + 400 + 1000));
    ASSERT_EQ(count(), 1);
    EXPECT_STREQ(record(0).friendlyName, "Good");
}

// A location is fetched only from the numeric address that answered: not from another address,
// and never through a name lookup.
TEST_F(DiscoveryWorker, OnlyLocationsOnTheAnsweringHostAreFetched)
{
    LoopbackServer server({{"/nas.xml", device(NasType, "Vault")}}, 64);
    const std::string port = std::to_string(server.port());
    {
        testing::internal::CaptureStderr();
        runWorker({answer("http://localhost:" + port + "/nas.xml", "uuid:name"),
                   answer("http://127.0.0.1.:" + port + "/nas.xml", "uuid:dot"),
                   answer("http://2130706433:" + port + "/nas.xml", "uuid:number")});
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(server.requests(), 0);
        EXPECT_EQ(count(), 0);
    }
    {
        // The same location, answered from another address of the host.
        SsdpResponder responder({answer(server.url("/nas.xml"), "uuid:other")}, nullptr, 0, "127.0.0.2");
        ASSERT_TRUE(responder.ready());
        runDiscoveryWorker();
        EXPECT_EQ(server.requests(), 0);
        EXPECT_EQ(count(), 0);
    }
    runWorker({answer(server.url("/nas.xml"), "uuid:same")});
    EXPECT_EQ(server.requests(), 1);
    ASSERT_EQ(count(), 1);
    EXPECT_EQ(std::string(record(0).hostPort), "127.0.0.1:" + port);
}
