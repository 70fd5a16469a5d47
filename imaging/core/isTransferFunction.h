// Colour and opacity tables of the ray caster, and its point light.
#pragma once

#include <cstdint>

namespace isImageSDK {

// The 256-entry colour table (A, R, G, B; A = index) and the 256 x 256
// pre-integrated table built from it. Entry (row j, column l) of the
// pre-integrated table sits at j * 256 + l.
class TransferTables {
public:
    TransferTables();
    ~TransferTables();
    TransferTables(const TransferTables&) = delete;
    TransferTables& operator=(const TransferTables&) = delete;

    // Entry i becomes (i, R_i, G_i, B_i) from 768 bytes of RGB triples.
    void loadColorMap(const uint8_t* colorMap);
    // Rebuilds the pre-integrated table when the colour table changed.
    void ensurePreintegrated();

    const float* colorTable() const { return m_colorTable; }
    const float* preintegratedTable() const { return m_preintegrated; }
    bool tablesDirty() const { return m_tablesDirty; }

private:
    bool m_tablesDirty = true;
    float* m_colorTable = nullptr;      // 256 * 4
    float* m_preintegrated = nullptr;   // 65,536 * 4
};

// Index of a value in the 256-entry tables: (v - L) * S truncated toward zero
// and clamped to 0..255.
inline int transferIndex(float value, float lowerBound, float scale)
{
    float f = (value - lowerBound) * scale;
    if (!(f > 0.f)) return 0;           // also NaN
    if (f >= 255.f) return 255;
    return static_cast<int>(f);
}

// Lookup tables of 65,536 entries (opacity 0..1, R, G, B 0..255) that the
// kernels read, built from the colour table or the pre-integrated table.
// Composite: entry v + 32,768 for every 16-bit value v, index
// (v - lowerBound) * 255 / width rounded.
void buildCompositeLookup(float* lookup, const float* colorTable, double lowerBound, double width);
// Pre-integrated: entry front + 256 * back, opacity divided by 255.
void buildPreintegratedLookup(float* lookup, const float* preintegrated);
// Maximum projection: the colour table in the first 256 entries, the rest zero.
void buildProjectionLookup(float* lookup, const float* colorTable);

// One point light with Phong shading; positions in voxel units of the volume.
class cuLight {
public:
    cuLight();
    virtual ~cuLight() = default;

    // Shades a material at a point with a unit normal; each channel at most 1.
    void shade(const float point[3], const float normal[3], const float material[3], float out[3]) const;

    float ambientLight[3] = {0.2f, 0.2f, 0.2f};
    float baseLight[3] = {1.f, 1.f, 1.f};
    float specularLight[3] = {1.f, 1.f, 1.f};
    float diffuseLight[3] = {1.f, 1.f, 1.f};
    float lightPosition[3] = {0.f, 0.f, 0.f};
    float ambientProduct[3] = {0, 0, 0};
    float specularProduct[3] = {0, 0, 0};
    float diffuseProduct[3] = {0, 0, 0};
    float exponent = 15.f;
    float ambientCoefficient[3] = {0.15f, 0.15f, 0.15f};
    float specularCoefficient[3] = {0.3f, 0.3f, 0.3f};
    float diffuseCoefficient[3] = {0.9f, 0.9f, 0.9f};
    float material[3] = {1.f, 1.f, 1.f};
    float eyePosition[3] = {0.f, 0.f, 0.f};
};

}  // namespace isImageSDK
