#include "run/PyramidBatch.h"

#include <cstring>
#include <regex>

#include "acoustics/Microphone.h"
#include "run/OrderedCommits.h"
#include "run/OtherProcesses.h"
#include "run/RayManager.h"
#include "support/UiFixture.h"
#include "tracing/Pyramid.h"
#include "tracing/PyramidGenerator.h"

namespace {
// Stands in for the other processes of an MPI run inside one process: every seed travels in a batch's byte form and
// every log in its packed form, and the logs of the batches are offered last batch first, so that the commits must
// put them back in the generator's order. Batches are sized for three processes.
class LoopbackProcesses : public OtherProcesses {
public:
    bool traceSource(RayManager& manager, PyramidGenerator& generator, const PlacedSource& source, unsigned,
                     std::uint32_t pyramids, std::uint32_t& done) override {
        std::vector<std::string> messages;
        std::uint32_t handedOut = 0;
        std::string bytes;
        PyramidLog log;
        PyramidBatch out;
        const bool stop = false;
        while (out.take(generator, stop, handedOut, pyramids, 3, PyramidBatch::maxSize)) {
            out.pack(bytes);
            PyramidBatch in;
            EXPECT_TRUE(in.unpack(bytes));
            std::string logs;
            PyramidBatch::startLogs(in.first, static_cast<std::uint32_t>(in.seeds.size()), logs);
            for (const PyramidSeed& seed : in.seeds) {
                Pyramid p(seed, source.radiatedEnergy(seed.section.axis));
                manager.tracePyramid(p, log);
                log.pack(logs);
                log.clear();
            }
            messages.push_back(logs);
        }
        OrderedCommits commits(manager.statistics);
        PyramidLog received;
        for (auto message = messages.rbegin(); message != messages.rend(); ++message) {
            std::string_view in(*message);
            std::uint32_t first = 0, count = 0;
            EXPECT_TRUE(PyramidBatch::readLogsStart(in, first, count));
            for (std::uint32_t i = 0; i < count; ++i) {
                EXPECT_TRUE(received.unpack(in));
                commits.offer(first + i, received);
            }
            EXPECT_TRUE(in.empty());
        }
        batches += messages.size();
        done = handedOut;
        return false;
    }
    std::size_t batches = 0;
};

// The bytes of a seed's fields, in order: two seeds are the same when these are.
std::string fieldBytes(const PyramidSeed& seed) {
    std::string bytes;
    const auto add = [&](const auto& value) { bytes.append(reinterpret_cast<const char*>(&value), sizeof value); };
    const PyramidSection& s = seed.section;
    for (const Vector* v : {static_cast<const Vector*>(&seed.apex), static_cast<const Vector*>(&s.edge0),
                            static_cast<const Vector*>(&s.edge1), static_cast<const Vector*>(&s.edge2),
                            static_cast<const Vector*>(&s.axis), static_cast<const Vector*>(&s.centroid),
                            static_cast<const Vector*>(&s.plane)}) {
        add(v->x);
        add(v->y);
        add(v->z);
    }
    add(s.radius);
    add(s.plane.d);
    add(s.area);
    add(seed.level);
    return bytes;
}

// Everything a run writes that does not change from run to run: the results file without its dates, times and
// processing times, the hits file and the escaped-rays file.
std::string writtenFiles(const std::string& model) {
    static const std::regex changing(R"(((?:Date|Time) +=|Processing(?: time)? *=)[^\r\n]*)");
    std::string text;
    for (const std::string& name : {model + ".___", model + ".@__", std::string("escaped.ray")}) {
        std::ifstream in(name, std::ios::binary);
        text += "== " + name + "\n" + std::string(std::istreambuf_iterator<char>(in), {});
    }
    return std::regex_replace(text, changing, "$1");
}
}  // namespace

TEST(PyramidBatchTest, BatchesShrinkTowardTheEndOfASource) {
    const struct { std::uint32_t remaining; int processes; std::uint32_t expected; } rows[] = {
        {0, 2, 0},        {1, 2, 1},        {7, 2, 1},      {8, 1, 2},      {100, 2, 12},
        {100, 0, 25},     {1000, 4, 62},    {4096, 2, 256}, {4095, 4, 255}, {1u << 28, 64, PyramidBatch::maxSize},
        {5, 1000000, 1},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PyramidBatch::size(row.remaining, row.processes), row.expected)
            << row.remaining << " pyramids over " << row.processes << " processes";
}

// Batches taken one after another number their seeds on from the last, are the generator's seeds in its order, are
// sized for the takers and held to the most asked for; a stop or an empty generator gives none.
TEST(PyramidBatchTest, BatchesTakenAreTheGeneratorsSeedsNumberedInTurn) {
    PyramidGenerator generator, reference;
    generator.start(Coord(0.1, 0.2, 0.3), 3, false);
    reference.start(Coord(0.1, 0.2, 0.3), 3, false);
    bool stop = false;
    std::uint32_t handedOut = 0;
    PyramidBatch batch;
    const struct { int takers; std::uint32_t most, first, size; } rows[] = {
        {1, 5, 0, 5}, {2, 16, 5, 7}, {2, 4, 12, 4}, {4, 16, 16, 3}, {1, 256, 19, 11},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(batch.take(generator, stop, handedOut, 64, row.takers, row.most)) << row.first;
        EXPECT_EQ(batch.first, row.first);
        ASSERT_EQ(batch.seeds.size(), row.size) << row.first;
        EXPECT_EQ(handedOut, row.first + row.size);
        for (const PyramidSeed& seed : batch.seeds) EXPECT_EQ(fieldBytes(seed), fieldBytes(reference.next()));
    }
    stop = true;
    EXPECT_FALSE(batch.take(generator, stop, handedOut, 64, 1, 16));
    EXPECT_TRUE(batch.seeds.empty() && handedOut == 30);
    stop = false;
    while (batch.take(generator, stop, handedOut, 64, 1, 16)) {}
    EXPECT_EQ(handedOut, 64u);
    EXPECT_TRUE(batch.seeds.empty());
    // A generator run out gives nothing even when more pyramids were expected.
    EXPECT_FALSE(batch.take(generator, stop, handedOut, 100, 1, 16));
    EXPECT_TRUE(batch.seeds.empty() && handedOut == 64);
    generator.finish();
    reference.finish();
}

TEST(PyramidBatchTest, SeedsTravelBitForBitAndAMalformedBatchIsRefused) {
    PyramidGenerator generator;
    generator.start(Coord(0.1, 0.2, 0.3), 3, false);
    PyramidBatch sent;
    sent.first = 4242;
    while (generator.count() > 0) sent.seeds.push_back(generator.next());
    generator.finish();
    ASSERT_EQ(sent.seeds.size(), 64u);
    std::string bytes;
    sent.pack(bytes);
    PyramidBatch got;
    ASSERT_TRUE(got.unpack(bytes));
    ASSERT_EQ(got.seeds.size(), sent.seeds.size());
    EXPECT_EQ(got.first, 4242u);
    for (std::size_t i = 0; i < sent.seeds.size(); ++i)
        EXPECT_EQ(fieldBytes(got.seeds[i]), fieldBytes(sent.seeds[i])) << "seed " << i;
    // Cut short anywhere, or with bytes left over, the batch is refused and left empty.
    const struct { const char* what; std::string bytes; } malformed[] = {
        {"empty", ""},
        {"header cut", bytes.substr(0, 6)},
        {"last seed cut", bytes.substr(0, bytes.size() - 1)},
        {"a byte too many", bytes + "x"},
    };
    for (const auto& [what, text] : malformed) {
        got.seeds.assign(3, PyramidSeed{});
        EXPECT_FALSE(got.unpack(text)) << what;
        EXPECT_TRUE(got.seeds.empty()) << what;
    }
    // An empty batch is the message that ends a source for a process.
    PyramidBatch none;
    none.first = 7;
    none.pack(bytes);
    EXPECT_TRUE(got.unpack(bytes) && got.seeds.empty() && got.first == 7);
}

using PyramidLogFormTest = UiFixture;

// A log read back from its byte form commits what the log itself would: the arrival at its receiver (by number),
// the hits record, the escape and the edge hit; a form cut short, or naming a receiver the process does not have,
// is refused and leaves nothing to commit.
TEST_F(PyramidLogFormTest, ALogReadBackCommitsTheSameAndAMalformedOneNothing) {
    microphones().addReceiver(Line(Coord(1, 1, 1), Versor(1, 0, 0)));
    Microphone& heard = *microphones().at(1);
    heard.response.setDirectDelay(0.01);
    BandEnergies energy{};
    energy.fill(0.25f);
    PyramidLog log;
    log.arrival(heard, 1, energy, 0, Vector(0.6, 0.8, 0), 0.0125);
    log.escaped(Line(Coord(1, 2, 3), Versor(0, 0, 1)));
    log.edgeHit(2, Coord(4, 5, 6));
    std::string bytes;
    log.pack(bytes);
    log.clear();

    std::string wrongReceiver = bytes;
    // The receiver number is the first field after the five counts.
    const std::uint32_t nobody = 99;
    std::memcpy(wrongReceiver.data() + 5 * sizeof(std::uint32_t), &nobody, sizeof nobody);
    for (const std::string& bad : {bytes.substr(0, bytes.size() - 3), bytes.substr(0, 10), wrongReceiver}) {
        std::string_view in(bad);
        EXPECT_FALSE(log.unpack(in));
        TraceStatistics statistics;
        log.commit(statistics);
        EXPECT_EQ(statistics.escapedCount + statistics.edgeHitCount, 0u);
        EXPECT_FALSE(heard.response.hasDirect);
    }

    std::string twice = bytes + bytes;
    std::string_view in(twice);
    TraceStatistics statistics;
    ASSERT_TRUE(log.unpack(in));
    EXPECT_EQ(in.size(), bytes.size()) << "one log read, the next one left";
    log.commit(statistics);
    EXPECT_TRUE(heard.response.hasDirect);
    EXPECT_EQ(heard.response.directDelay, 0.0125);
    EXPECT_EQ(statistics.escapedCount, 1u);
    EXPECT_EQ(statistics.edgeHitCount, 2u);
}

using SpreadRunTest = UiFixture;

// A run whose pyramids and logs all travel in their byte forms, committed in turn although they come back last
// batch first, writes what a run in one process writes, byte for byte: in the example room with Diffusion,
// Diffraction, clones, the late-decay spheres and a hits file; outdoors with escapes and edge hits listed in the
// escaped-rays file.
TEST_F(SpreadRunTest, ARunWhoseLogsTravelWritesTheSameFilesAsOneProcess) {
    for (const char* name : {"room.ray", "room.material", "speaker.spk", "outdoor.ray", "outdoor.ini",
                             "outdoor.material"})
        std::filesystem::copy_file(std::string(TOLVENO_EXAMPLES "/") + name, name);
    writeFile("room.ini", readFile(TOLVENO_EXAMPLES "/room.ini") + "LateCorrection = 1\n");
    const struct { std::string model, flags, shows; } rows[] = {
        {"room", "/O1 /L6 /T0.3 /N1 /D1 /K2 /S2", "== room.@__\n   1,  1,"},
        {"outdoor", "/O1 /L9 /D1 /E1", "== escaped.ray\nEntitylist\n"},
    };
    for (const auto& [model, flags, shows] : rows) {
        const auto trace = [&](OtherProcesses* others) {
            // Each run writes its files afresh (a results file written over counts its revisions).
            for (const std::string& name : {model + ".___", model + ".@__", model + ".bak", std::string("escaped.ray")})
                std::filesystem::remove(name);
            clearProcessState();
            parameters = RunParameters{};
            TConfig::resetDefaultName();
            EXPECT_TRUE(parameters.parse(model + " " + flags));
            RayManager manager;
            EXPECT_TRUE(manager.ready);
            manager.otherProcesses = others;
            manager.run();
            EXPECT_EQ(manager.status, ExitStatus::ok);
            return writtenFiles(model);
        };
        const std::string alone = trace(nullptr);
        LoopbackProcesses loopback;
        const std::string spread = trace(&loopback);
        EXPECT_GT(loopback.batches, 8u) << model;
        // The files hold what the case is about: arrivals with their hits records, or escapes and edge hits.
        EXPECT_NE(alone.find("[Microphone_1]"), std::string::npos) << model;
        EXPECT_NE(alone.find(shows), std::string::npos) << model;
        EXPECT_GT(alone.size(), alone.find(shows) + shows.size() + 1000) << model;
        EXPECT_TRUE(alone == spread) << model;
    }
}
