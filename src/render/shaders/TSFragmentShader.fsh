#version 330 core
// Output is premultiplied, blended with (ONE, ONE_MINUS_SRC_ALPHA), so the widget's own alpha
// stays opaque. Picture colours arrive straight and are premultiplied here; label textures are
// premultiplied already.
//
// The pictures' program is built with COLOR_ONLY defined and never samples: a software
// rasteriser runs both sides of a branch on a uniform for every fragment, and the texture's side
// was a quarter of a picture's cost there. The labels' program is built with TEXTURE_ONLY, and
// the images' (textures drawn unfaded) with IMAGE_AS_IS too: a texture fetch alone is what Mesa's
// llvmpipe copies or blends a row at a time instead of shading each fragment.
//
// llvmpipe (Mesa 22) also draws two triangles that make a rectangle by a path of its own when
// the window has no depth buffer, unless an input of the fragment shader is flat; there it blends
// shaded colours wrongly (whole 64-pixel tiles of a rectangle drawn over its own colour come out
// darker). The pictures' program reads flatOne, which changes nothing, to stay off that path;
// the texture programs keep it, where it is a fast copy.
uniform float alpha;
uniform int useTexture;
uniform sampler2D labelTexture;
in vec4 vertexColor;
in vec2 vertexTextureCoord;
#ifdef COLOR_ONLY
flat in float flatOne;
#endif
out vec4 outColor;

void main() {
#if defined(IMAGE_AS_IS)
    outColor = texture(labelTexture, vertexTextureCoord);
#elif defined(TEXTURE_ONLY)
    outColor = texture(labelTexture, vertexTextureCoord) * alpha;
#else
#ifndef COLOR_ONLY
    if (useTexture == 1) {
        outColor = texture(labelTexture, vertexTextureCoord) * alpha;
        return;
    }
#endif
#ifdef COLOR_ONLY
    float a = vertexColor.a * alpha * flatOne;
#else
    float a = vertexColor.a * alpha;
#endif
    outColor = vec4(vertexColor.rgb * a, a);
#endif
}
