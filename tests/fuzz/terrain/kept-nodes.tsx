<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.8" tiledversion="1.8.2" name="parts" tilewidth="6" tileheight="6" tilecount="256" columns="16" spacing="0">
 <!-- kept comment -->
 <properties><property name="author" value="someone"/></properties>
 <image source="parts.png" width="96" height="96"/>
 <tile id="4" probability="0.5"><properties><property name="solid" type="bool" value="true"/></properties></tile>
 <wangsets>
  <wangset name="ground" type="corner" tile="-1" class="outdoor">
   <properties><property name="layer" type="int" value="2"/></properties>
   <wangcolor name="grass" color="#00ff00" tile="-1" probability="1" class="g"/>
   <wangcolor name="sand" color="#ffff00" tile="4" probability="0.5"/>
   <wangtile tileid="4" wangid="0,1,0,1,0,2,0,2" extra="x"/>
  </wangset>
 </wangsets>
 <custom-element a="b">text</custom-element>
</tileset>
