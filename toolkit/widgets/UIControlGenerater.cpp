#include "toolkit/widgets/UIControlGenerater.h"

#include <algorithm>

#include "engine/renderer/TextureCache.h"

USING_NS_CC;

namespace NSUI {

namespace {

TextureCache* textureCache()
{
    Director* director = Director::getInstance();
    return director ? director->getTextureCache() : nullptr;
}

// min(fit.w / w, fit.h / h), the width ratio on ties; false when the
// picture has no area (an undecodable file) or the box is empty.
bool fitScale(const Size& picture, const Size& fit, float& scale)
{
    if (!(picture.width > 0) || !(picture.height > 0))
        return false;
    const float sx = fit.width / picture.width;
    const float sy = fit.height / picture.height;
    scale = sx > sy ? sy : sx;
    return true;
}

void fitImageView(ui::ImageView* view, const Size& fit)
{
    float s = 1;
    if (view->hasTexture() && fitScale(view->getVirtualRendererSize(), fit, s))
        view->setScale(s);
}

void fitSprite(Sprite* sprite, const Size& fit, float factor)
{
    float s = 1;
    if (sprite->getTexture() && fitScale(sprite->getTextureRect().size, fit, s))
        sprite->setScale(s * factor, s);
}

} // namespace

UIControlGenerater::~UIControlGenerater()
{
    for (ImageLoadJob& job : _pendingLoads)
        if (job.target)
            job.target->release();
    _pendingLoads.clear();
    if (Director* director = Director::getInstanceIfExists())
        director->getTextureCache()->unbindImageAsyncForOwner(this);
    if (_currentLoad.target) {
        _currentLoad.target->release();
        _currentLoad.target = nullptr;
    }
}

void UIControlGenerater::queue(ImageLoadJob job)
{
    if (!job.target)
        return;
    job.target->retain();
    _pendingLoads.push_back(std::move(job));
}

void UIControlGenerater::loadImageViewAspectFit(ui::ImageView* view, std::string path, Size fit)
{
    if (!view)
        return;
    TextureCache* cache = textureCache();
    if (cache && cache->getTextureForKey(path)) {
        view->loadTexture(path, ui::Widget::TextureResType::LOCAL);
        fitImageView(view, fit);
        return;
    }
    ImageLoadJob job;
    job.path = std::move(path);
    job.target = view;
    job.isWidget = true;
    job.fitMode = 1;
    job.fitSize = fit;
    job.scaleXFactor = 1.0f;
    queue(std::move(job));
}

void UIControlGenerater::loadImageAspectFit(Sprite* sprite, std::string path, Size fit, float scaleXFactor)
{
    if (!sprite)
        return;
    TextureCache* cache = textureCache();
    if (cache && cache->getTextureForKey(path)) {
        sprite->setTexture(path);
        fitSprite(sprite, fit, scaleXFactor);
        return;
    }
    ImageLoadJob job;
    job.path = std::move(path);
    job.target = sprite;
    job.isWidget = false;
    job.fitMode = 1;
    job.fitSize = fit;
    job.scaleXFactor = scaleXFactor;
    queue(std::move(job));
}

void UIControlGenerater::loadImageAsync(ui::ImageView* view, std::string path)
{
    if (!view)
        return;
    ImageLoadJob job;
    job.path = std::move(path);
    job.target = view;
    job.isWidget = true;
    job.fitMode = 0;
    queue(std::move(job));
}

void UIControlGenerater::loadNextImage()
{
    if (_pendingLoads.empty() || _currentLoad.target)
        return;
    _currentLoad = std::move(_pendingLoads.front());
    _pendingLoads.pop_front();
    TextureCache* cache = textureCache();
    if (!cache) {
        onImageLoaded(nullptr);
        return;
    }
    cache->addImageAsync(
        _currentLoad.path, [this](Texture2D* texture) { onImageLoaded(texture); }, this);
}

void UIControlGenerater::apply(const ImageLoadJob& job, bool loaded)
{
    if (job.isWidget) {
        auto* view = dynamic_cast<ui::ImageView*>(job.target);
        if (!view)
            return;
        view->loadTexture(job.path, ui::Widget::TextureResType::LOCAL);
        if (job.fitMode == 1 && loaded)
            fitImageView(view, job.fitSize);
    } else {
        auto* sprite = dynamic_cast<Sprite*>(job.target);
        if (!sprite)
            return;
        sprite->setTexture(job.path);
        if (job.fitMode == 1 && loaded)
            fitSprite(sprite, job.fitSize, job.scaleXFactor);
    }
}

void UIControlGenerater::onImageLoaded(Texture2D* texture)
{
    if (!_currentLoad.target)
        return;
    // The job leaves _currentLoad before anything is applied, so that a
    // target released here can take nothing else with it.
    ImageLoadJob job = std::move(_currentLoad);
    _currentLoad = ImageLoadJob();
    apply(job, texture != nullptr);
    job.target->release();
}

} // namespace NSUI
