// Slice sprite: the engine hands the sprite's corners over in view space
// (model-view already applied), so only the projection remains.
attribute vec4 a_position;
attribute vec2 a_texCoord;
attribute vec4 a_color;
varying vec4 v_fragmentColor;
varying vec2 v_texCoord;

void main() {
  gl_Position = CC_PMatrix * a_position;
  v_fragmentColor = a_color;
  v_texCoord = a_texCoord;
}
