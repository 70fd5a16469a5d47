#include "imaging/core/isTransferFunction.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace isImageSDK {

TransferTables::TransferTables()
{
    m_colorTable = new float[256 * 4];
    m_preintegrated = new float[256 * 256 * 4];
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 4; ++k) m_colorTable[i * 4 + k] = static_cast<float>(i);
    std::memset(m_preintegrated, 0, sizeof(float) * 256 * 256 * 4);
    m_tablesDirty = true;
}

TransferTables::~TransferTables()
{
    delete[] m_colorTable;
    delete[] m_preintegrated;
}

void TransferTables::loadColorMap(const uint8_t* colorMap)
{
    if (!colorMap) return;
    for (int i = 0; i < 256; ++i) {
        m_colorTable[i * 4 + 0] = static_cast<float>(i);
        m_colorTable[i * 4 + 1] = colorMap[i * 3 + 0];
        m_colorTable[i * 4 + 2] = colorMap[i * 3 + 1];
        m_colorTable[i * 4 + 3] = colorMap[i * 3 + 2];
    }
    m_tablesDirty = true;
}

void TransferTables::ensurePreintegrated()
{
    if (!m_tablesDirty) return;
    m_tablesDirty = false;
    // Running trapezoid sums of each component.
    double sums[256][4];
    for (int k = 0; k < 4; ++k) sums[0][k] = m_colorTable[k];
    for (int i = 1; i < 256; ++i)
        for (int k = 0; k < 4; ++k)
            sums[i][k] = sums[i - 1][k] + (m_colorTable[i * 4 + k] + m_colorTable[(i - 1) * 4 + k]) * 0.5;
    for (int j = 0; j < 256; ++j) {
        for (int l = 0; l < 256; ++l) {
            float* e = m_preintegrated + (j * 256 + l) * 4;
            if (j == l) {
                for (int k = 0; k < 4; ++k) e[k] = m_colorTable[j * 4 + k];
                continue;
            }
            int lo = std::min(j, l), hi = std::max(j, l);
            for (int k = 0; k < 4; ++k) {
                double v = (sums[hi][k] - sums[lo][k]) / (hi - lo);
                e[k] = static_cast<float>(std::clamp(v, 0.0, 255.0));
            }
        }
    }
}

void buildCompositeLookup(float* lookup, const float* colorTable, double lowerBound, double width)
{
    for (int v = -32768; v <= 32767; ++v) {
        double f = (static_cast<double>(v) - lowerBound) * 255.0 / width + 0.5;
        int c;
        if (!(f > 0.0)) c = 0;
        else if (f >= 255.0) c = 255;
        else c = static_cast<int>(f);
        float* e = lookup + (v + 32768) * 4;
        e[0] = static_cast<float>(c) / 255.f;
        e[1] = colorTable[c * 4 + 1];
        e[2] = colorTable[c * 4 + 2];
        e[3] = colorTable[c * 4 + 3];
    }
}

void buildPreintegratedLookup(float* lookup, const float* preintegrated)
{
    for (int i = 0; i < 65536; ++i) {
        lookup[i * 4 + 0] = preintegrated[i * 4 + 0] / 255.f;
        lookup[i * 4 + 1] = preintegrated[i * 4 + 1];
        lookup[i * 4 + 2] = preintegrated[i * 4 + 2];
        lookup[i * 4 + 3] = preintegrated[i * 4 + 3];
    }
}

void buildProjectionLookup(float* lookup, const float* colorTable)
{
    std::memset(lookup, 0, sizeof(float) * 65536 * 4);
    std::memcpy(lookup, colorTable, sizeof(float) * 256 * 4);
}

cuLight::cuLight()
{
    for (int k = 0; k < 3; ++k) {
        ambientProduct[k] = material[k] * ambientCoefficient[k];
        specularProduct[k] = material[k] * specularCoefficient[k];
        diffuseProduct[k] = material[k] * diffuseCoefficient[k];
    }
}

static inline void normalise3(float v[3])
{
    float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 0.f) {
        v[0] /= len;
        v[1] /= len;
        v[2] /= len;
    }
}

void cuLight::shade(const float p[3], const float n[3], const float m[3], float out[3]) const
{
    float l[3] = {lightPosition[0] - p[0], lightPosition[1] - p[1], lightPosition[2] - p[2]};
    float v[3] = {eyePosition[0] - p[0], eyePosition[1] - p[1], eyePosition[2] - p[2]};
    normalise3(l);
    normalise3(v);
    float d = n[0] * l[0] + n[1] * l[1] + n[2] * l[2];
    float r[3] = {2.f * d * n[0] - l[0], 2.f * d * n[1] - l[1], 2.f * d * n[2] - l[2]};
    normalise3(r);
    float diffuse = std::max(d, 0.f);
    float rv = std::max(r[0] * v[0] + r[1] * v[1] + r[2] * v[2], 0.f);
    float specular = std::pow(rv, exponent);
    for (int k = 0; k < 3; ++k) {
        float c = m[k] * ambientCoefficient[k] * (ambientLight[k] + baseLight[k])
                + m[k] * diffuseCoefficient[k] * diffuseLight[k] * diffuse
                + m[k] * specularCoefficient[k] * specularLight[k] * specular;
        out[k] = c > 1.f ? 1.f : c;
    }
}

}  // namespace isImageSDK
