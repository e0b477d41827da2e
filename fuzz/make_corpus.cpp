// Writes the seed corpus of every fuzz target from the real captures and
// from encoded sample records, one file per seed:
//   natnet-fuzz-corpus <captures dir> <corpus dir>
// The seeds are committed; run this again after a layout change.
#include "FuzzSupport.h"
#include "SampleRecords.h"

#include "natnet/codec/FrameCodec.h"
#include "natnet/codec/Messages.h"
#include "natnet/codec/ModelDefinitions.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace NatNet::Wire;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool writeSeed(const fs::path& dir, const std::string& name, const std::vector<uint8_t>& bytes)
{
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bool(out);
}

// A versioned seed: the selector byte, then the payload of a datagram.
std::vector<uint8_t> versioned(Version v, const std::vector<uint8_t>& datagram)
{
    std::vector<uint8_t> seed{NatNetFuzz::selectorFor(v)};
    seed.insert(seed.end(), datagram.begin() + 4, datagram.end());
    return seed;
}

std::string tag(Version v)
{
    return "v" + std::to_string(v.major) + "_" + std::to_string(v.minor);
}

template <typename Encode>
std::vector<uint8_t> encoded(Encode encode)
{
    std::vector<uint8_t> buffer(1 << 17);
    ByteWriter out(buffer.data(), buffer.size());
    if (encode(out) != Status::Ok) std::fprintf(stderr, "natnet-fuzz-corpus: a sample did not encode\n");
    buffer.resize(out.size());
    return buffer;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: natnet-fuzz-corpus <captures dir> <corpus dir>\n");
        return 2;
    }
    const fs::path captures(argv[1]);
    const fs::path corpus(argv[2]);
    bool ok = true;

    // Real datagrams: every target that can take them.
    const struct
    {
        const char* file{};
        Version version;
    } captured[] = {
        {"python_natnet/connect_packet_v3.bin", {3, 0}},
        {"python_natnet/discovery_packet_v3.bin", {3, 0}},
        {"python_natnet/serverinfo_packet_v3.bin", {3, 0}},
        {"python_natnet/echorequest_packet_v3.bin", {3, 0}},
        {"python_natnet/echoresponse_packet_v3.bin", {3, 0}},
        {"python_natnet/requestmodeldef_packet_v3.bin", {3, 0}},
        {"python_natnet/modeldef_packet_v3.bin", {3, 0}},
        {"python_natnet/mocapframe_packet_v3.bin", {3, 0}},
        {"python_natnet/mocapframe_packet_occluded_v3.bin", {3, 0}},
        {"python-optirx/frame-motive-1.5.0-000.bin", {2, 5}},
        {"python-optirx/frame-motive-1.5.0-001.bin", {2, 5}},
        {"python-optirx/frame-motive-1.6b2-001.bin", {2, 6}},
        {"python-optirx/frame-motive-1.7.2-001.bin", {2, 7}},
        {"python-optirx/frame-motive-1.9.0-000.bin", {2, 9}},
        {"python-optirx/frame-motive-1.9.0-001.bin", {2, 9}},
    };
    for (const auto& c : captured) {
        const std::vector<uint8_t> bytes = readFile(captures / c.file);
        Datagram d;
        if (decodeDatagram(bytes.data(), bytes.size(), d) != Status::Ok) {
            std::fprintf(stderr, "natnet-fuzz-corpus: cannot read %s\n", c.file);
            ok = false;
            continue;
        }
        const std::string name = "capture_" + fs::path(c.file).stem().string();
        ok &= writeSeed(corpus / "messages", name, bytes);
        const std::vector<uint8_t> payload(bytes.begin() + 4, bytes.end());
        switch (static_cast<MessageId>(d.messageId)) {
            case MessageId::FrameOfData:
                ok &= writeSeed(corpus / "frame", name, versioned(c.version, bytes));
                break;
            case MessageId::ModelDef:
                ok &= writeSeed(corpus / "model_definitions", name, versioned(c.version, bytes));
                break;
            case MessageId::ServerInfo:
            case MessageId::Connect:
            case MessageId::Discovery:
                ok &= writeSeed(corpus / "server_info", name, payload);
                break;
            default:
                break;
        }
    }

    // Encoded samples with every section filled, for every version.
    for (const Version v : NatNetFuzz::kVersions) {
        NatNetTest::SampleFrame sample;
        ok &= writeSeed(
            corpus / "frame", "sample_" + tag(v),
            versioned(v, encoded([&](ByteWriter& w) { return encodeFrame(w, sample.frame(), v); })));
        auto small = NatNetTest::SampleFrame::rigidBodiesOnly(4);
        ok &= writeSeed(
            corpus / "frame", "rigid_bodies_" + tag(v),
            versioned(v, encoded([&](ByteWriter& w) { return encodeFrame(w, small->frame(), v); })));
        sDataDescriptions* list = NatNetTest::makeSampleDescriptions(v.major, v.minor);
        const std::vector<uint8_t> defs =
            encoded([&](ByteWriter& w) { return encodeModelDefinitions(w, *list, v); });
        freeDescriptions(list);
        ok &= writeSeed(corpus / "model_definitions", "sample_" + tag(v), versioned(v, defs));
        if (v.major == 4 && v.minor == 1) ok &= writeSeed(corpus / "messages", "sample_modeldef_v4_1", defs);
    }

    // Small messages as a 4.x server and client send them.
    ConnectRequest connect;
    connect.hasSender = connect.hasOptions = true;
    connect.sender.setName("NatNetLib");
    Version(4, 1).toBytes(connect.sender.version);
    Version(4, 1).toBytes(connect.sender.natNetVersion);
    Version(4, 0).toBytes(connect.bitstreamVersion);
    const std::vector<uint8_t> connect41 = encoded([&](ByteWriter& w) { return encodeConnect(w, connect); });
    ok &= writeSeed(corpus / "messages", "sample_connect_v4_1", connect41);
    ok &= writeSeed(corpus / "server_info", "sample_connect_v4_1",
                    std::vector<uint8_t>(connect41.begin() + 4, connect41.end()));
    ok &= writeSeed(corpus / "messages", "sample_request",
                    encoded([](ByteWriter& w) { return encodeRequest(w, "Bitstream,4.0"); }));
    ok &= writeSeed(corpus / "messages", "sample_response_text",
                    encoded([](ByteWriter& w) { return encodeResponseText(w, "Bitstream,4.1"); }));
    ok &= writeSeed(corpus / "messages", "sample_response_float",
                    encoded([](ByteWriter& w) { return encodeResponseFloat(w, 1000.0f); }));
    ok &= writeSeed(corpus / "messages", "sample_keepalive",
                    encoded([](ByteWriter& w) { return encodeEmpty(w, MessageId::KeepAlive); }));
    ok &= writeSeed(corpus / "messages", "sample_message_string",
                    encoded([](ByteWriter& w) { return encodeMessageString(w, "Recording started"); }));
    return ok ? 0 : 1;
}
