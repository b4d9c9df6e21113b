#version 330 core
// Output is premultiplied, blended with (ONE, ONE_MINUS_SRC_ALPHA), so the widget's own alpha
// stays opaque. Picture colours arrive straight and are premultiplied here; label textures are
// premultiplied already.
//
// The pictures' program is built with COLOR_ONLY defined and never samples: a software
// rasteriser runs both sides of a branch on a uniform for every fragment, and the texture's side
// was a quarter of a picture's cost there.
uniform float alpha;
uniform int useTexture;
uniform sampler2D labelTexture;
in vec4 vertexColor;
in vec2 vertexTextureCoord;
out vec4 outColor;

void main() {
#ifndef COLOR_ONLY
    if (useTexture == 1) {
        outColor = texture(labelTexture, vertexTextureCoord) * alpha;
        return;
    }
#endif
    float a = vertexColor.a * alpha;
    outColor = vec4(vertexColor.rgb * a, a);
}
