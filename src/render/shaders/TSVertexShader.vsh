#version 330 core
// Points (origin at the view's centre, y up) to clip space through modelMat; colours are
// premultiplied, texture coordinates pass through.
uniform mat4 modelMat;
in vec2 position;
in vec4 color;
in vec2 textureCoord;
out vec4 vertexColor;
out vec2 vertexTextureCoord;

void main() {
    gl_Position = modelMat * vec4(position, 0.0, 1.0);
    vertexColor = vec4(color.rgb * color.a, color.a);
    vertexTextureCoord = textureCoord;
}
