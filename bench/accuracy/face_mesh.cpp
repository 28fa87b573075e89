#include "face_mesh.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace zor {
namespace bench {
namespace {

// A reader of the protocol buffer wire format: just the field kinds the
// mesh uses (varints, 32-bit values and length-delimited fields).
class WireReader {
public:
    WireReader(const uint8_t* begin, const uint8_t* end) : m_at(begin), m_end(end) {}

    bool AtEnd() const { return m_at == m_end; }

    bool Varint(uint64_t& value)
    {
        value = 0;
        for (int shift = 0; shift < 64 && m_at != m_end; shift += 7) {
            const uint8_t byte = *m_at++;
            value |= static_cast<uint64_t>(byte & 0x7f) << shift;
            if ((byte & 0x80) == 0) {
                return true;
            }
        }
        return false;
    }

    bool Fixed32(uint32_t& value)
    {
        if (m_end - m_at < 4) {
            return false;
        }
        value = static_cast<uint32_t>(m_at[0]) | static_cast<uint32_t>(m_at[1]) << 8 |
                static_cast<uint32_t>(m_at[2]) << 16 | static_cast<uint32_t>(m_at[3]) << 24;
        m_at += 4;
        return true;
    }

    bool Bytes(WireReader& inner)
    {
        uint64_t length = 0;
        if (!Varint(length) || length > static_cast<uint64_t>(m_end - m_at)) {
            return false;
        }
        inner = WireReader(m_at, m_at + length);
        m_at += length;
        return true;
    }

    // Skips a value of wire type `type`; false on a type the mesh never uses.
    bool Skip(int type)
    {
        uint64_t varint = 0;
        uint32_t fixed = 0;
        WireReader inner(nullptr, nullptr);
        switch (type) {
        case 0: return Varint(varint);
        case 2: return Bytes(inner);
        case 5: return Fixed32(fixed);
        case 1:
            if (m_end - m_at < 8) {
                return false;
            }
            m_at += 8;
            return true;
        default: return false;
        }
    }

private:
    const uint8_t* m_at;
    const uint8_t* m_end;
};

float FloatOf(uint32_t bits)
{
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The mesh message: vertex buffer (field 3, floats, packed or not) and
// index buffer (field 4, varints, packed or not).
bool ReadMesh(WireReader reader, std::vector<float>& vertexBuffer, std::vector<uint64_t>& indexBuffer)
{
    while (!reader.AtEnd()) {
        uint64_t key = 0;
        if (!reader.Varint(key)) {
            return false;
        }
        const uint64_t field = key >> 3;
        const int type = static_cast<int>(key & 7);
        uint32_t bits = 0;
        uint64_t index = 0;
        WireReader packed(nullptr, nullptr);
        if (field == 3 && type == 5) {
            if (!reader.Fixed32(bits)) {
                return false;
            }
            vertexBuffer.push_back(FloatOf(bits));
        } else if (field == 3 && type == 2) {
            if (!reader.Bytes(packed)) {
                return false;
            }
            while (!packed.AtEnd()) {
                if (!packed.Fixed32(bits)) {
                    return false;
                }
                vertexBuffer.push_back(FloatOf(bits));
            }
        } else if (field == 4 && type == 0) {
            if (!reader.Varint(index)) {
                return false;
            }
            indexBuffer.push_back(index);
        } else if (field == 4 && type == 2) {
            if (!reader.Bytes(packed)) {
                return false;
            }
            while (!packed.AtEnd()) {
                if (!packed.Varint(index)) {
                    return false;
                }
                indexBuffer.push_back(index);
            }
        } else if (!reader.Skip(type)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadFaceMesh(const std::string& path, FaceMesh& mesh, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes;
    if (in) {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (in.bad() || bytes.empty()) {
        error = "cannot read " + path;
        return false;
    }
    WireReader reader(bytes.data(), bytes.data() + bytes.size());
    std::vector<float> vertexBuffer;
    std::vector<uint64_t> indexBuffer;
    bool found = false;
    while (!reader.AtEnd()) {
        uint64_t key = 0;
        WireReader inner(nullptr, nullptr);
        if (!reader.Varint(key)) {
            break;
        }
        if (key == ((1u << 3) | 2u)) {
            found = reader.Bytes(inner) && ReadMesh(inner, vertexBuffer, indexBuffer);
            if (!found) {
                break;
            }
        } else if (!reader.Skip(static_cast<int>(key & 7))) {
            found = false;
            break;
        }
    }
    const size_t vertexCount = vertexBuffer.size() / 5;
    if (!found || vertexCount == 0 || vertexBuffer.size() % 5 != 0 || indexBuffer.empty() ||
        indexBuffer.size() % 3 != 0) {
        error = path + " holds no face mesh";
        return false;
    }
    mesh = FaceMesh();
    for (size_t i = 0; i < vertexCount; ++i) {
        const float* v = &vertexBuffer[5 * i];
        mesh.vertices.emplace_back(v[0], v[1], v[2]);
        mesh.uv.emplace_back(v[3], v[4]);
    }
    for (size_t i = 0; i < indexBuffer.size(); i += 3) {
        cv::Vec3i triangle;
        for (int k = 0; k < 3; ++k) {
            if (indexBuffer[i + k] >= vertexCount) {
                error = path + ": a triangle names vertex " + std::to_string(indexBuffer[i + k]);
                return false;
            }
            triangle[k] = static_cast<int>(indexBuffer[i + k]);
        }
        mesh.triangles.push_back(triangle);
    }
    return true;
}

}  // namespace bench
}  // namespace zor
