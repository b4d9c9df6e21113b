#version 330 core
// Output is premultiplied, blended with (ONE, ONE_MINUS_SRC_ALPHA), so the widget's own alpha
// stays opaque. Picture colours arrive straight and are premultiplied here; label textures are
// premultiplied already.
uniform float alpha;
uniform int useTexture;
uniform sampler2D labelTexture;
in vec4 vertexColor;
in vec2 vertexTextureCoord;
out vec4 outColor;

void main() {
    if (useTexture == 1) {
        outColor = texture(labelTexture, vertexTextureCoord) * alpha;
    } else {
        float a = vertexColor.a * alpha;
        outColor = vec4(vertexColor.rgb * a, a);
    }
}
