#version 330 core
// Points (origin at the view's centre, y up) to clip space through modelMat; colours and
// texture coordinates pass through. flatOne is 1 for every vertex (colour components lie in
// 0...1), passed without interpolation: see the fragment shader.
uniform mat4 modelMat;
in vec2 position;
in vec4 color;
in vec2 textureCoord;
out vec4 vertexColor;
out vec2 vertexTextureCoord;
flat out float flatOne;

void main() {
    gl_Position = modelMat * vec4(position, 0.0, 1.0);
    vertexColor = color;
    vertexTextureCoord = textureCoord;
    flatOne = step(0.0, color.a);
}
