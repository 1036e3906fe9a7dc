// The discovery worker end to end on loopback: SSDP answers from an in-test responder,
// descriptions from an in-test HTTP server, records in the process-wide device table.
#include "DescriptionServer.h"
#include "SsdpResponder.h"
#include "devicetable.h"
#include "polling.h"
#include "protocol.h"
#include "worker.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace qvd;
using qvtest::Datagram;
using qvtest::DescriptionServer;
using qvtest::ssdpAnswer;
using qvtest::SsdpResponder;

namespace {

constexpr char MediaServerType[] = "urn:schemas-upnp-org:device:MediaServer:1";
constexpr char NasType[] = "urn:schemas-upnp-org:device:QvNAS:1";
constexpr char GatewayType[] = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";

Datagram now(std::string bytes)
{
    return {std::move(bytes), 2};
}

bool tableIsZero(const DeviceList& list)
{
    static const DeviceRecord zero{};
    for (const DeviceRecord& record : list.records) {
        if (std::memcmp(&record, &zero, sizeof zero) != 0) {
            return false;
        }
    }
    return true;
}

class DiscoveryWorker : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!qvtest::onlyLoopback()) {
            GTEST_SKIP() << "not in a network namespace of its own";
        }
        // Long enough that a responder held up by a busy machine is not taken for silence.
        timing().turnWaitMs.store(400);
        timing().readWaitMs.store(300);
        timing().connectWaitMs.store(500);
        // Each case has a process of its own, but the table is process-wide: start clean.
        DeviceList& list = deviceList();
        list.done.store(-1);
        resetDeviceList(list);
        m_fdsBefore = qvtest::openFdCount();
    }

    // Runs the worker's entry routine on this thread, as the worker thread would.
    void runWorker()
    {
        runDiscoveryWorker();
        EXPECT_EQ(deviceList().done.load(), 1);
    }

    // After the responder and the server are gone, nothing of the search may stay open.
    void expectNoLeak() { EXPECT_EQ(qvtest::openFdCount(), m_fdsBefore); }

    int count() const { return deviceList().count.load(); }
    const DeviceRecord& record(int i) const { return deviceList().records[i]; }

private:
    int m_fdsBefore = 0;
};

} // namespace

TEST_F(DiscoveryWorker, PublishesAnAcceptedDeviceWithShortTypeAndHostPort)
{
    {
        DescriptionServer server;
        ASSERT_TRUE(server.ready());
        server.serveDevice("/desc.xml", NasType, "Vault");
        SsdpResponder responder({now(ssdpAnswer(server.url("/desc.xml"), "uuid:vault"))});
        ASSERT_TRUE(responder.ready());
        runWorker();
        ASSERT_EQ(count(), 1);
        EXPECT_STREQ(record(0).deviceType, "QvNAS");
        EXPECT_STREQ(record(0).friendlyName, "Vault");
        EXPECT_STREQ(record(0).manufacturer, "Halvren Storage Corporation");
        EXPECT_STREQ(record(0).modelNumber, "QV-2");
        EXPECT_EQ(std::string(record(0).hostPort), "127.0.0.1:" + std::to_string(server.port()));
        EXPECT_EQ(server.requests("/desc.xml"), 1);
    }
    expectNoLeak();
}

TEST_F(DiscoveryWorker, AGatewayIsNotPublishedAndItsSlotIsReused)
{
    DescriptionServer server;
    ASSERT_TRUE(server.ready());
    server.serveDevice("/igd.xml", GatewayType, "Router", "Acme");
    server.serveDevice("/media.xml", MediaServerType, "Music", "Acme");
    SsdpResponder responder(
        {now(ssdpAnswer(server.url("/igd.xml"), "uuid:igd")), now(ssdpAnswer(server.url("/media.xml"), "uuid:media"))});
    ASSERT_TRUE(responder.ready());
    runWorker();
    EXPECT_EQ(server.requests("/igd.xml"), 1);
    ASSERT_EQ(count(), 1);
    EXPECT_STREQ(record(0).deviceType, "MediaServer");
    EXPECT_STREQ(record(0).friendlyName, "Music");
    EXPECT_STREQ(record(0).UDN, "uuid:0000");
    // The rejected description was parsed into the slot first; nothing of it is left over.
    EXPECT_STREQ(record(1).friendlyName, "");
}

TEST_F(DiscoveryWorker, TwoUsnsForOneLocationGiveTwoRecords)
{
    DescriptionServer server;
    ASSERT_TRUE(server.ready());
    server.serveDevice("/desc.xml", NasType, "Twin");
    SsdpResponder responder(
        {now(ssdpAnswer(server.url("/desc.xml"), "uuid:twin::upnp:rootdevice")),
         now(ssdpAnswer(server.url("/desc.xml"), "uuid:twin::urn:schemas-upnp-org:device:QvNAS:1"))});
    ASSERT_TRUE(responder.ready());
    runWorker();
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(server.requests("/desc.xml"), 2);
    EXPECT_STREQ(record(0).friendlyName, "Twin");
    EXPECT_STREQ(record(1).friendlyName, "Twin");
}

TEST_F(DiscoveryWorker, TheTableHoldsFiftyAndThe51stDeviceIsNeverFetched)
{
    DescriptionServer server;
    ASSERT_TRUE(server.ready());
    std::vector<Datagram> script;
    for (int i = 0; i <= MaxDevices; ++i) {
        const std::string path = "/d" + std::to_string(i) + ".xml";
        server.serveDevice(path, NasType, "Box " + std::to_string(i));
        script.push_back(now(ssdpAnswer(server.url(path), "uuid:box-" + std::to_string(i))));
    }
    SsdpResponder responder(script);
    ASSERT_TRUE(responder.ready());
    runWorker();
    EXPECT_EQ(count(), MaxDevices);
    EXPECT_EQ(server.totalRequests(), MaxDevices);
    EXPECT_EQ(server.requests("/d50.xml"), 0);
    EXPECT_STREQ(record(0).friendlyName, "Box 0");
    EXPECT_STREQ(record(MaxDevices - 1).friendlyName, "Box 49");
}

TEST_F(DiscoveryWorker, AnUnreachableDescriptionLeavesNoTrace)
{
    {
        DescriptionServer server;
        ASSERT_TRUE(server.ready());
        const std::string closedPort = "http://127.0.0.1:" + std::to_string(server.port() == 1 ? 2 : 1) + "/desc.xml";
        SsdpResponder responder({
            now(ssdpAnswer(closedPort, "uuid:refused")),
            now(ssdpAnswer(server.url(""), "uuid:no-path")),
            now(ssdpAnswer(server.url("/missing.xml"), "uuid:not-found")),
        });
        ASSERT_TRUE(responder.ready());
        runWorker();
        EXPECT_EQ(server.requests("/missing.xml"), 1);
        EXPECT_EQ(server.totalRequests(), 1) << "a location without a path is never requested";
        EXPECT_EQ(count(), 0);
        EXPECT_TRUE(tableIsZero(deviceList()));
    }
    expectNoLeak();
}

TEST_F(DiscoveryWorker, ASilentServerDelaysButDoesNotStopTheSearch)
{
    DescriptionServer server;
    ASSERT_TRUE(server.ready());
    // The fetch waits longer than a listening turn; the answer behind it waits in the socket.
    timing().readWaitMs.store(600);
    server.holdSilent("/silent.xml");
    server.serveDevice("/good.xml", NasType, "After the silence");
    SsdpResponder responder({now(ssdpAnswer(server.url("/silent.xml"), "uuid:silent")),
                             now(ssdpAnswer(server.url("/good.xml"), "uuid:good"))});
    ASSERT_TRUE(responder.ready());
    runWorker();
    EXPECT_EQ(server.requests("/silent.xml"), 1);
    ASSERT_EQ(count(), 1);
    EXPECT_STREQ(record(0).friendlyName, "After the silence");
}

TEST_F(DiscoveryWorker, ALongLocationIsCutBeforeTheHostIsTaken)
{
    DescriptionServer server;
    ASSERT_TRUE(server.ready());
    const std::string path = "/" + std::string(200, 'p') + ".xml";
    server.serveDevice(path, NasType, "Long");
    SsdpResponder responder({now(ssdpAnswer(server.url(path), "uuid:long"))});
    ASSERT_TRUE(responder.ready());
    runWorker();
    EXPECT_EQ(server.requests(path), 1) << "the fetch uses the whole location";
    ASSERT_EQ(count(), 1);
    EXPECT_EQ(std::string(record(0).hostPort), "127.0.0.1:" + std::to_string(server.port()));
}

TEST_F(DiscoveryWorker, ASearchWithoutAnswersEndsWithAnEmptyTableAndDone)
{
    timing().turnWaitMs.store(30);
    runWorker();
    EXPECT_EQ(count(), 0);
    EXPECT_TRUE(tableIsZero(deviceList()));
    expectNoLeak();
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
    void showNoDeviceBox() override { ++noDeviceBoxes; }

    std::vector<std::string> rows;
    int noDeviceBoxes = 0;
};

} // namespace

TEST_F(DiscoveryWorker, ThePollingRoutineListsTheMakersDevicesFoundOnTheNetwork)
{
    timing().pollIntervalMs.store(5);
    DescriptionServer server;
    ASSERT_TRUE(server.ready());
    server.serveDevice("/nas.xml", NasType, "Vault");
    server.serveDevice("/tv.xml", MediaServerType, "Television", "Acme");
    SsdpResponder responder(
        {now(ssdpAnswer(server.url("/tv.xml"), "uuid:tv")), now(ssdpAnswer(server.url("/nas.xml"), "uuid:nas"))});
    ASSERT_TRUE(responder.ready());
    deviceList().done.store(1); // a finished earlier search: the routine resets and starts a worker
    RowSink sink;
    RowToRecord rowToRecord;
    EXPECT_EQ(searchAndListDevices(sink, rowToRecord), 0);
    EXPECT_EQ(sink.rows, std::vector<std::string>{"Vault | 127.0.0.1"});
    EXPECT_EQ(rowToRecord[0].load(), 1);
    EXPECT_EQ(rowToRecord[1].load(), -1);
    EXPECT_EQ(sink.noDeviceBoxes, 0);
    EXPECT_EQ(deviceList().count.load(), 2);
}
