<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.10" name="ext" tilewidth="4" tileheight="4" tilecount="8" columns="4">
 <image source="tiles.png" width="16" height="8"/>
</tileset>
