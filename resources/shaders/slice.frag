// Slice mapping: a 16-bit value per texel (low byte in .r, high byte in .a
// of a luminance-alpha texture) goes through the window and its curve to a
// grey level 0-255, and the grey level picks a colour from the 256 x 1
// colour table on unit 1. The grey levels are those of the CPU mapping:
// the same edges, the same truncation, the same curves.
varying vec4 v_fragmentColor;
varying vec2 v_texCoord;

uniform int u_opacity;       // curve: 0 linear, 1 logarithmic, 2 inverse logarithmic
uniform float u_wwMin;       // lower window edge, in texel units
uniform float u_wwLinear;    // 255 / window width; 0 for a window of width 0
uniform float u_wwMax;       // upper window edge (the centre when the width is 0)
uniform float u_wwLogRatio;  // 9 / window width
uniform int u_pt;            // 0 the texture as it is, 1 grey values, 2 RGB
uniform int u_fs;            // reserved
uniform float u_vw;          // texture width in texels
uniform float u_vh;          // texture height in texels

float texelValue(vec2 uv) {
  vec4 s = texture2D(CC_Texture0, uv);
  return floor(s.r * 255.0 + 0.5) + floor(s.a * 255.0 + 0.5) * 256.0;
}

// Bilinear between the four nearest texel centres, on the 16-bit values
// themselves (filtering the two bytes apart would lose the carry). Each tap
// lies on a texel centre, where the texture's own filter returns the texel.
float sliceValue() {
  vec2 size = vec2(u_vw, u_vh);
  vec2 p = v_texCoord * size - 0.5;
  vec2 i = floor(p);
  vec2 f = p - i;
  vec2 c0 = (i + 0.5) / size;
  vec2 c1 = (i + 1.5) / size;
  float below = mix(texelValue(c0), texelValue(vec2(c1.x, c0.y)), f.x);
  float above = mix(texelValue(vec2(c0.x, c1.y)), texelValue(c1), f.x);
  return mix(below, above, f.y);
}

float log10of(float x) { return log2(x) * 0.30102999566398120; }

float greyLevel(float t) {
  if (u_wwLinear == 0.0) return t >= u_wwMax ? 255.0 : 0.0;
  if (u_opacity == 1 || u_opacity == 2) {
    if (t >= u_wwMax) return 255.0;
    if (t <= u_wwMin) return 0.0;
    float g = u_opacity == 1 ? log10of((t - u_wwMin) * u_wwLogRatio + 1.0)
                             : 1.0 - log10of((u_wwMax - t) * u_wwLogRatio + 1.0);
    return clamp(floor(g * 255.0), 0.0, 255.0);
  }
  // Integer edges give integer steps: half a step of 1/255 keeps the exact
  // quotients from falling just short of their level.
  return clamp(floor((t - u_wwMin + 0.5 / 255.0) * u_wwLinear), 0.0, 255.0);
}

void main() {
  vec3 rgb;
  if (u_pt == 0) {
    gl_FragColor = v_fragmentColor * texture2D(CC_Texture0, v_texCoord);
    return;
  }
  if (u_pt == 2) {
    rgb = texture2D(CC_Texture0, v_texCoord).rgb;
  } else {
    float g = greyLevel(sliceValue());
    rgb = texture2D(CC_Texture1, vec2((g + 0.5) / 256.0, 0.5)).rgb;
  }
  gl_FragColor = v_fragmentColor * vec4(rgb, 1.0);
}
